// In-memory stand-ins for tests: a set of profile files that behaves like the platform's
// (case-insensitive sections and keys, reads cut to the buffer, writes in place, texts
// longer than a key holds refused), with a log of every call, and a program location with a
// chosen file name.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "src/settings/ini_file.h"

namespace kx::settings {

class MemoryProfileFile : public ProfileFile {
 public:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
  };
  using File = std::vector<Section>;

  // Sets a file's whole content (sections in order).
  void SetFile(const std::string& file_name, File file) { files_[file_name] = std::move(file); }
  bool Exists(const std::string& file_name) const { return files_.count(file_name) != 0; }
  // The file as the platform writes it: "[Section]\r\nkey=value\r\n" per section.
  std::string Text(const std::string& file_name) const;
  // Writes to this file fail.
  void MakeUnwritable(const std::string& file_name) { unwritable_.insert(file_name); }

  // Every call in order: "read S/K", "write S/K=V", "flush", each followed by " @file".
  const std::vector<std::string>& log() const { return log_; }
  void ClearLog() { log_.clear(); }

  std::string ReadString(const std::string& file_name, const std::string& section,
                         const std::string& key, const std::string& default_text,
                         size_t buffer_size) override;
  ProfileWrite WriteString(const std::string& file_name, const std::string& section,
                           const std::string& key, const std::string& text) override;
  void Flush(const std::string& file_name) override;

 private:
  std::map<std::string, File> files_;
  std::set<std::string> unwritable_;
  std::vector<std::string> log_;
};

class FixedProgramLocation : public ProgramLocation {
 public:
  explicit FixedProgramLocation(std::string file_name) : file_name_(std::move(file_name)) {}
  std::string ProgramFileName() override { return file_name_; }

 private:
  std::string file_name_;
};

}  // namespace kx::settings
