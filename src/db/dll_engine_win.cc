#include "src/db/dll_engine_win.h"

#include "src/db/db_error.h"

namespace kx::db {

namespace {
bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string WithoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

std::string JoinFolders(const std::vector<std::string>& folders) {
  std::string text;
  for (size_t i = 0; i < folders.size(); ++i) {
    if (i > 0) text += i + 1 == folders.size() ? " or " : ", ";
    text += folders[i];
  }
  return text.empty() ? std::string("(no folder)") : text;
}

[[noreturn]] void Fail(const std::string& text) {
  throw EADSDatabaseError(nullptr, text, kAceErrorEngineUnavailable);
}
}  // namespace

DllClientEngine::DllClientEngine(std::vector<std::string> folders, std::string dll_name)
    : folders_(std::move(folders)), dll_name_(std::move(dll_name)) {
  for (std::string& folder : folders_) folder = WithoutTrailingSeparator(folder);
}

DllClientEngine::~DllClientEngine() {
  // The engine stays loaded while the process ends; freeing it here could run its teardown
  // after other static objects that still hold handles.
}

std::vector<std::string> DllClientEngine::DefaultFolders() {
  std::vector<std::string> folders;
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    std::string program(path, length);
    const size_t at = program.find_last_of("\\/");
    if (at != std::string::npos) folders.push_back(program.substr(0, at));
  }
  char system[MAX_PATH + 1] = {};
  UINT system_length = GetSystemDirectoryA(system, MAX_PATH);
  if (system_length > 0 && system_length < MAX_PATH) folders.emplace_back(system, system_length);
  char windows[MAX_PATH + 1] = {};
  UINT windows_length = GetWindowsDirectoryA(windows, MAX_PATH);
  if (windows_length > 0 && windows_length < MAX_PATH) {
    folders.emplace_back(windows, windows_length);
  }
  return folders;
}

void DllClientEngine::Load() {
  std::lock_guard<std::mutex> guard(lock_);
  Module();
}

HMODULE DllClientEngine::Module() {
  if (loaded_) return module_;
  std::string path;
  for (const std::string& folder : folders_) {
    const std::string candidate = folder + "\\" + dll_name_;
    if (IsFile(candidate)) {
      path = candidate;
      break;
    }
  }
  if (path.empty()) {
    Fail("The client engine " + dll_name_ + " was not found in " + JoinFolders(folders_) + ".");
  }
  // A full path with the altered search order: the DLL's own dependencies are looked for
  // beside it, and neither the current directory nor the PATH is searched for it.
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    Fail("The client engine " + path + " could not be loaded (system error " +
         std::to_string(GetLastError()) + ").");
  }
  module_ = module;
  loaded_path_ = path;
  loaded_ = true;
  return module_;
}

void* DllClientEngine::Bind(const char* name) {
  std::lock_guard<std::mutex> guard(lock_);
  void* function = reinterpret_cast<void*>(GetProcAddress(Module(), name));
  if (function == nullptr) {
    Fail("The client engine " + loaded_path_ + " lacks the function " + name +
         "; it does not fit this program.");
  }
  return function;
}

ClientEngine& DefaultClientEngine() {
  static DllClientEngine engine(DllClientEngine::DefaultFolders());
  return engine;
}

}  // namespace kx::db
