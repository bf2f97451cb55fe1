// The client engine loaded from its DLL at first use.
//
// The DLL is looked for only in the folders given (by default the program's own folder, then
// the system folders), always by full path, never through the current directory or the PATH.
// A missing DLL or a missing function raises EADSDatabaseError naming the DLL or the
// function and the folder; loading is tried again at the next call after a failure.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "db/client_engine.h"

inline constexpr char kEngineDllName[] = "ACE32.DLL";

class DllClientEngine : public FunctionTableEngine {
 public:
  DllClientEngine(std::vector<std::string> folders, std::string dll_name = kEngineDllName);
  ~DllClientEngine() override;
  DllClientEngine(const DllClientEngine&) = delete;
  DllClientEngine& operator=(const DllClientEngine&) = delete;

  // Loads the DLL now (does nothing once loaded); raises as any call would.
  void Load();
  // The full path of the loaded DLL, or empty.
  const std::string& LoadedPath() const { return loaded_path_; }

  // The program's folder, the system folder and the Windows folder.
  static std::vector<std::string> DefaultFolders();

 protected:
  const AceFunctionTable& Functions() override;

 private:
  std::vector<std::string> folders_;
  std::string dll_name_;
  std::mutex lock_;
  HMODULE module_ = nullptr;
  std::string loaded_path_;
  bool loaded_ = false;
};
