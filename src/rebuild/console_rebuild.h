// The rebuild run in a console: the same run as the window's, with each progress position and
// status text printed.
#pragma once

#include <iosfwd>
#include <string>

// Rebuilds the indexes of `folder` with the default engine. Progress goes to `out`; a failure
// (no item table in the folder, or the error that stopped the run, shown as the error box
// would show it) goes to `err`. Returns 0 only when every table was rebuilt.
int RunConsoleRebuild(const std::string& folder, std::ostream& out, std::ostream& err);
