#include <windows.h>

#include "engine/child_process.h"

namespace kxengine::testing {
namespace {

class WinChild : public ChildProcess {
 public:
  WinChild(HANDLE process, HANDLE out) : process_(process), out_(out) {}
  ~WinChild() override { Kill(); }

  bool WaitForLine(const std::string& line, std::string* seen) override {
    std::string current;
    char c;
    DWORD got = 0;
    while (ReadFile(out_, &c, 1, &got, nullptr) && got == 1) {
      if (c == '\r') continue;
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
    if (process_ == nullptr) return;
    TerminateProcess(process_, 9);
    WaitForSingleObject(process_, INFINITE);
    CloseHandle(process_);
    CloseHandle(out_);
    process_ = nullptr;
  }

 private:
  HANDLE process_;
  HANDLE out_;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::StartSelf(const std::vector<std::string>& args) {
  char exe[MAX_PATH];
  if (GetModuleFileNameA(nullptr, exe, MAX_PATH) == 0) return nullptr;
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE read_end, write_end;
  if (!CreatePipe(&read_end, &write_end, &sa, 0)) return nullptr;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  std::string command = std::string("\"") + exe + "\"";
  for (const std::string& a : args) command += " \"" + a + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = write_end;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi = {};
  BOOL ok =
      CreateProcessA(exe, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(write_end);
  if (!ok) {
    CloseHandle(read_end);
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return std::make_unique<WinChild>(pi.hProcess, read_end);
}

}  // namespace kxengine::testing
