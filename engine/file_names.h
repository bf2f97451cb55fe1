// The names of a table's companion files: its index file, the pack journal, and the index
// files written beside it during index creation and pack.
#pragma once

#include <string>

namespace kx::engine {

std::string IndexPathOf(const std::string& table_path);
inline std::string JournalPathOf(const std::string& table_path) { return table_path + ".jnl"; }
inline std::string PackedIndexPathOf(const std::string& table_path) {
  return IndexPathOf(table_path) + ".new";
}
inline std::string TempIndexPathOf(const std::string& table_path) {
  return IndexPathOf(table_path) + ".tmp";
}

}  // namespace kx::engine
