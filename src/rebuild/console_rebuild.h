// The rebuild run in a console: the same run as the window's, with each progress position and
// status text printed.
#pragma once

#include <iosfwd>
#include <string>

#include "src/rebuild/run_log.h"

namespace kx::rebuild {

// Rebuilds the indexes of `folder` with the default engine. Progress goes to `out`; a failure
// (no item table in the folder, or the error that stopped the run, shown as the error box
// would show it) goes to `err`. Returns 0 only when every table was rebuilt. With `log`, the
// run's record (what the program appends to rebuild.log) goes there as well.
int RunConsoleRebuild(const std::string& folder, std::ostream& out, std::ostream& err,
                      RunLogSink* log = nullptr);

}  // namespace kx::rebuild
