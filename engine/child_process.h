// Runs this test program again as a child process, for tests that need a second process
// (table locks). The child is started with arguments and ended with Kill().
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kxengine::testing {

class ChildProcess {
 public:
  // Starts the running executable with `args`; its standard output is readable by
  // WaitForLine.
  static std::unique_ptr<ChildProcess> StartSelf(const std::vector<std::string>& args);
  virtual ~ChildProcess() = default;
  // Reads the child's output until a line equal to `line` arrives (true) or it ends (false).
  virtual bool WaitForLine(const std::string& line, std::string* seen) = 0;
  // Ends the child at once and waits until it is gone.
  virtual void Kill() = 0;
};

// The hook the test program's main calls first: when the arguments ask for it, runs the
// child's part and returns its exit code; otherwise returns -1.
int RunChildRole(int argc, char** argv);

}  // namespace kxengine::testing
