// Helpers shared by the engine's tests: a small sample table, tag entries and live values,
// and the support library's scratch folders and file bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/table_file.h"
#include "tests/support/scratch_dir.h"

namespace kx::engine::testing {

using kx::testing::ReadAll;
using kx::testing::ScratchDir;
using kx::testing::WriteAll;

// The fields of the sample table: every field type once.
std::vector<FieldDef> SampleFields();
// Record i (from 1) of the sample table, as text values; the values repeat and are not in
// order, so that sorting has work to do.
std::vector<std::string> SampleValues(uint32_t i);
// Creates the sample table with `count` records, every `delete_every`-th deleted (0: none).
void MakeSampleTable(const std::string& path, uint32_t count, uint32_t delete_every);

// The entries of a tag in key order: record numbers only.
std::vector<uint32_t> TagRecnos(const TableFile& table, const std::string& tag);
// The text values of all live records, in file order.
std::vector<std::vector<std::string>> LiveValues(const TableFile& table);

// The second process of the lock tests: when the arguments ask for it ("--hold-table"),
// holds a table and returns the exit code at its end; otherwise returns -1 at once.
int RunChildRole(int argc, char** argv);

}  // namespace kx::engine::testing
