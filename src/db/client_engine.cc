#include "src/db/client_engine.h"

#include <string>

#include "src/db/db_error.h"

namespace kx::db {

void* FunctionTableEngine::Bind(const char* name) {
  throw EADSDatabaseError(nullptr,
                          std::string("The client engine lacks the function ") + name +
                              "; it does not fit this program.",
                          kAceErrorEngineUnavailable);
}

}  // namespace kx::db
