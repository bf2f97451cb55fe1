// Ending the running process as a kill does, on POSIX systems.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "engine/faulty_file.h"

namespace kx::engine {

void EndThisProcessNow() {
  kill(getpid(), SIGKILL);
  std::_Exit(137);  // not reached: SIGKILL cannot be caught
}

}  // namespace kx::engine
