#include "test_support.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "kxdata.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0;; ++attempt) {
    fs::path candidate =
        fs::temp_directory_path() / ("kxdata-test-" + std::to_string(stamp) + "-" +
                                     std::to_string(counter++) + "-" + std::to_string(attempt));
    if (fs::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ScratchDir::File(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

std::string ScratchDir::Write(const std::string& name, const std::string& text) const {
  std::string path = File(name);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  return path;
}

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out, err;
  ToolRun run;
  run.code = RunKxdata(args, in, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

#ifdef _WIN32
namespace {
// One argument as the C runtime of the child splits its command line: quoted when it holds
// blanks, with backslashes before a quote doubled.
std::string QuotedArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}
}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "pipe");
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE null_handle =
      CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                  OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_handle;
  startup.hStdOutput = write_end;
  startup.hStdError = null_handle;
  std::string command_line;
  for (const std::string& arg : argv) {
    if (!command_line.empty()) command_line += ' ';
    command_line += QuotedArgument(arg);
  }
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessA(argv[0].c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
  const DWORD error = GetLastError();
  CloseHandle(write_end);
  if (null_handle != INVALID_HANDLE_VALUE) CloseHandle(null_handle);
  if (!started) {
    CloseHandle(read_end);
    throw std::system_error(static_cast<int>(error), std::system_category(), argv[0]);
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  out_ = read_end;
}

ChildProcess::~ChildProcess() {
  if (process_) {
    Kill();
    Wait();
  }
  if (out_) CloseHandle(out_);
}

std::size_t ChildProcess::ReadOutput(char* buffer, std::size_t size) {
  DWORD n = 0;
  if (!ReadFile(out_, buffer, static_cast<DWORD>(size), &n, nullptr)) return 0;
  return n;
}

void ChildProcess::Kill() {
  if (process_) TerminateProcess(process_, 9);
}

int ChildProcess::Wait() {
  if (!process_) return -1;
  WaitForSingleObject(process_, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  CloseHandle(process_);
  process_ = nullptr;
  return code == 9 ? -9 : static_cast<int>(code);
}
#else
ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe(fds) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  pid_ = fork();
  if (pid_ < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid_ == 0) {
    dup2(fds[1], STDOUT_FILENO);
    int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, STDERR_FILENO);
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
#endif

bool ChildProcess::WaitForLine(const std::string& line) {
  for (;;) {
    std::size_t end;
    while ((end = buffered_.find('\n')) != std::string::npos) {
      std::string got = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      if (!got.empty() && got.back() == '\r') got.pop_back();
      if (got == line) return true;
    }
    char chunk[256];
    const std::size_t n = ReadOutput(chunk, sizeof chunk);
    if (n == 0) return false;
    buffered_.append(chunk, n);
  }
}
