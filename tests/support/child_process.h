// A child process for tests: started from an argument list, its standard output read
// through a pipe, ended at once by Kill().
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kx::testing {

class ChildProcess {
 public:
  // What becomes of the child's standard error.
  enum class Errors { kDiscarded, kWithOutput };

  // Starts `argv` (argv[0] is the program's path); throws std::system_error when it cannot.
  explicit ChildProcess(const std::vector<std::string>& argv, Errors errors = Errors::kDiscarded);
  ~ChildProcess();  // kills and reaps the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The path of the running program, to start it again as a child.
  static std::string SelfPath();

  // Reads the child's output until `line` arrives (true) or the output ends (false); the
  // other lines read meanwhile are added to *seen when it is given.
  bool WaitForLine(const std::string& line, std::string* seen = nullptr);
  // The rest of the child's output, up to its end.
  std::string ReadToEnd();
  // The rest of the child's output until the child has ended. On Windows a process that the
  // child started (Wine's desktop process, for a child that opens the session's first window)
  // may inherit the output and hold it open long after; elsewhere this is ReadToEnd.
  std::string ReadUntilExit();
  void Kill();
  // Waits for the child to end; returns its exit code, or -signal when a signal ended it
  // (on Windows a killed child ends with code 9, so Wait gives -9 there too).
  int Wait();

 private:
  // Reads what the child has written to its output, at most `size` bytes; 0 at its end.
  std::size_t ReadOutput(char* buffer, std::size_t size);
#ifdef _WIN32
  void* process_ = nullptr;  // HANDLEs, kept out of this header
  void* out_ = nullptr;
#else
  int pid_ = -1;
  int out_fd_ = -1;
#endif
  std::string buffered_;
};

}  // namespace kx::testing
