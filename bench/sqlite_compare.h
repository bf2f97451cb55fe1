// The same work done by an embedded SQL database with its default settings: the table's rows
// (live and deleted, with a deleted flag) loaded untimed, then each tag as a CREATE INDEX over
// the same key columns, a REINDEX of them all, and the removal of the deleted rows followed by
// VACUUM, which rewrites the file as a pack does.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kx::bench {

struct SqlStep {
  std::string name;
  double seconds = 0;
};

struct SqlComparison {
  double load_seconds = 0;  // untimed in the comparison; shown for information
  std::vector<SqlStep> create_index;
  double reindex_seconds = 0;
  double delete_seconds = 0;
  double vacuum_seconds = 0;
  uint64_t rows = 0;
  uint64_t deleted_rows = 0;
  uint64_t rows_after = 0;
  uint64_t file_bytes_before_vacuum = 0;
  uint64_t file_bytes_after_vacuum = 0;
};

// `tags` are (name, expression) pairs, expressions being field names joined by ";". The
// database file `db_path` is made anew.
SqlComparison CompareWithSql(const std::string& table_path, const std::string& db_path,
                             const std::vector<std::pair<std::string, std::string>>& tags);

}  // namespace kx::bench
