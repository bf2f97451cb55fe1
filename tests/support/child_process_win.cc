// Child processes for tests on Windows.
#include <windows.h>

#include <algorithm>
#include <string>
#include <system_error>

#include "tests/support/child_process.h"

namespace kx::testing {

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

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Errors errors) {
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
  startup.hStdError = errors == Errors::kWithOutput ? write_end : null_handle;
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

std::string ChildProcess::ReadUntilExit() {
  std::string text = std::move(buffered_);
  buffered_.clear();
  for (bool ended = process_ == nullptr; !ended;) {
    ended = WaitForSingleObject(process_, 20) != WAIT_TIMEOUT;
    DWORD available = 0;
    while (PeekNamedPipe(out_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      char chunk[4096];
      const std::size_t n = ReadOutput(chunk, std::min<std::size_t>(available, sizeof chunk));
      if (n == 0) break;
      text.append(chunk, n);
    }
  }
  return text;
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
std::string ChildProcess::SelfPath() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

}  // namespace kx::testing
