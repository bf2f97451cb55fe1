// Helpers shared by the engine's tests: a scratch folder, a small sample table, file bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/table_file.h"

namespace kxengine::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::string& Path() const { return path_; }
  // The path of a file in the folder, with the platform's separator.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// The fields of the sample table: every field type once.
std::vector<FieldDef> SampleFields();
// Record i (from 1) of the sample table, as text values; the values repeat and are not in
// order, so that sorting has work to do.
std::vector<std::string> SampleValues(uint32_t i);
// Creates the sample table with `count` records, every `delete_every`-th deleted (0: none).
void MakeSampleTable(const std::string& path, uint32_t count, uint32_t delete_every);

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);

// The entries of a tag in key order: record numbers only.
std::vector<uint32_t> TagRecnos(const TableFile& table, const std::string& tag);
// The text values of all live records, in file order.
std::vector<std::vector<std::string>> LiveValues(const TableFile& table);

}  // namespace kxengine::testing
