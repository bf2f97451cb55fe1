// Native builds have no engine library to load: the program uses the linked stand-in engine.
#include "src/db/linked_engine.h"

namespace kx::db {

ClientEngine& DefaultClientEngine() { return LinkedClientEngine(); }

}  // namespace kx::db
