// Scratch folders and whole-file reads and writes for the tests.
#pragma once

#include <string>

namespace kx::testing {

// A fresh empty folder under the system's temporary folder, removed with everything in it
// when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  // The path of a file in the folder, with the platform's separator.
  std::string File(const std::string& name) const;
  // Writes `bytes` to a file in the folder and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadAll(const std::string& path);
// Replaces the content of a file (created when absent).
void WriteAll(const std::string& path, const std::string& bytes);

}  // namespace kx::testing
