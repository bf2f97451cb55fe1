// The platform's own file calls behind PlatformFileLayer(): one definition per platform
// (os_file_posix.cc, os_file_win.cc). The engine calls the dispatching functions of
// os_file.h instead.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "engine/os_file.h"

namespace kx::engine {

std::unique_ptr<OsFile> PlatformOpen(const std::string& path, OsFile::Mode mode, LockKind lock,
                                     OpenResult* result, std::string* error);
bool PlatformRemoveFileIfPresent(const std::string& path);
void PlatformRenameOver(const std::string& from, const std::string& to);
void PlatformSyncFolderOf(const std::string& path);
}  // namespace kx::engine
