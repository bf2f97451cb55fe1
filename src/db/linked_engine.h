// The stand-in engine linked into the program (native builds, tools and tests).
#pragma once

#include "src/db/client_engine.h"

namespace kx::db {

ClientEngine& LinkedClientEngine();

}  // namespace kx::db
