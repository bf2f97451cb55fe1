#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

#include "engine/child_process.h"

extern char** environ;

namespace kxengine::testing {
namespace {

class PosixChild : public ChildProcess {
 public:
  PosixChild(pid_t pid, int out) : pid_(pid), out_(out) {}
  ~PosixChild() override { Kill(); }

  bool WaitForLine(const std::string& line, std::string* seen) override {
    std::string current;
    char c;
    while (read(out_, &c, 1) == 1) {
      if (c == '\n') {
        if (current == line) return true;
        *seen += current + "\n";
        current.clear();
      } else {
        current += c;
      }
    }
    *seen += current;
    return false;
  }

  void Kill() override {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status;
    waitpid(pid_, &status, 0);
    close(out_);
    pid_ = -1;
  }

 private:
  pid_t pid_;
  int out_;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::StartSelf(const std::vector<std::string>& args) {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return nullptr;
  exe[n] = '\0';
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return nullptr;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<std::string> all = {exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, exe, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    close(pipe_fds[0]);
    return nullptr;
  }
  return std::make_unique<PosixChild>(pid, pipe_fds[0]);
}

}  // namespace kxengine::testing
