// The client engine loaded from its DLL at first use.
//
// The DLL is looked for only in the folders given (by default the program's own folder, then
// the system folders), always by full path, never through the current directory or the PATH.
// Each function is looked up when it is first called, so an engine version without functions
// that the program never calls still serves it. A missing DLL raises EADSDatabaseError naming
// the DLL and the folders, a missing function one naming the function and the DLL's path;
// loading is tried again at the next call after a failure.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "src/db/client_engine.h"

namespace kx::db {

inline constexpr char kEngineDllName[] = "ACE32.DLL";

class DllClientEngine : public FunctionTableEngine {
 public:
  DllClientEngine(std::vector<std::string> folders, std::string dll_name = kEngineDllName);
  ~DllClientEngine() override;
  DllClientEngine(const DllClientEngine&) = delete;
  DllClientEngine& operator=(const DllClientEngine&) = delete;

  // Loads the DLL now (does nothing once loaded); raises as any call would. Looks up no
  // function.
  void Load();
  // The full path of the loaded DLL, or empty.
  const std::string& LoadedPath() const { return loaded_path_; }

  // The program's folder, the system folder and the Windows folder.
  static std::vector<std::string> DefaultFolders();

 protected:
  void* Bind(const char* name) override;

 private:
  // The loaded module; loads it first when needed. Call with lock_ held.
  HMODULE Module();

  std::vector<std::string> folders_;
  std::string dll_name_;
  std::mutex lock_;
  HMODULE module_ = nullptr;
  std::string loaded_path_;
  bool loaded_ = false;
};

}  // namespace kx::db
