#include "src/db/linked_engine.h"

#include "engine/ace_exports.h"

namespace kx::db {

namespace {
AceFunctionTable LinkedFunctions() {
  AceFunctionTable table;
#define ACE_BIND(name, params, args) table.name = &::name;
  ACE_FUNCTIONS(ACE_BIND)
#undef ACE_BIND
  return table;
}
}  // namespace

ClientEngine& LinkedClientEngine() {
  static FunctionTableEngine engine(LinkedFunctions());
  return engine;
}

}  // namespace kx::db
