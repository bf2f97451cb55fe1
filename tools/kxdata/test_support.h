// Helpers of the data tool's tests: scratch folders, running the tool in-process, and child
// processes that a test can kill.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A fresh empty folder under the system's temporary folder, removed with its contents when
// the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  // The path of a file inside the folder.
  std::string File(const std::string& name) const;
  // Writes `text` to a file inside the folder and returns its path.
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

struct ToolRun {
  int code = -1;
  std::string out;
  std::string err;
};

// Runs the tool in this process with the given arguments and standard input.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "");

std::string ReadFile(const std::string& path);

// A child process running `argv` (argv[0] is the program path) with its standard output read
// through a pipe and its standard error discarded.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();  // kills and reaps the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads the child's output until `line` arrives (true) or the output ends (false).
  bool WaitForLine(const std::string& line);
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
