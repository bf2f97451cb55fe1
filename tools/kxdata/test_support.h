// Helpers of the data tool's tests: scratch folders, running the tool in-process, and (on
// POSIX systems) child processes that a test can kill.
#pragma once

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

#ifndef _WIN32
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
  // Waits for the child to end; returns its exit code, or -signal when a signal ended it.
  int Wait();

 private:
  int pid_ = -1;
  int out_fd_ = -1;
  std::string buffered_;
};
#endif
