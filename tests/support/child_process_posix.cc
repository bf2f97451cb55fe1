// Child processes for tests on POSIX systems.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <system_error>

#include "tests/support/child_process.h"

namespace kx::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Errors errors) {
  int fds[2];
  if (pipe(fds) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  pid_ = fork();
  if (pid_ < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid_ == 0) {
    dup2(fds[1], STDOUT_FILENO);
    int null_fd = open("/dev/null", O_RDWR);
    dup2(errors == Errors::kWithOutput ? fds[1] : null_fd, STDERR_FILENO);
    dup2(null_fd, STDIN_FILENO);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> raw;
    for (const std::string& arg : argv) raw.push_back(const_cast<char*>(arg.c_str()));
    raw.push_back(nullptr);
    execv(raw[0], raw.data());
    _exit(127);
  }
  close(fds[1]);
  out_fd_ = fds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    Kill();
    Wait();
  }
  if (out_fd_ >= 0) close(out_fd_);
}

std::size_t ChildProcess::ReadOutput(char* buffer, std::size_t size) {
  ssize_t n = read(out_fd_, buffer, size);
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::string ChildProcess::ReadUntilExit() { return ReadToEnd(); }

void ChildProcess::Kill() {
  if (pid_ > 0) kill(pid_, SIGKILL);
}

int ChildProcess::Wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return -WTERMSIG(status);
  return -1;
}
std::string ChildProcess::SelfPath() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

}  // namespace kx::testing
