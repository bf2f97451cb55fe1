#include "bench/sqlite_compare.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "engine/table_file.h"

namespace kx::bench {

namespace {

using Clock = std::chrono::steady_clock;

class Database {
 public:
  explicit Database(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
      const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw std::runtime_error("cannot open " + path + ": " + why);
    }
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string why = message ? message : "unknown error";
      sqlite3_free(message);
      throw std::runtime_error(sql + ": " + why);
    }
  }
  double TimedExec(const std::string& sql) {
    const auto start = Clock::now();
    Exec(sql);
    return std::chrono::duration<double>(Clock::now() - start).count();
  }
  int64_t Count(const std::string& sql) {
    sqlite3_stmt* stmt = Prepare(sql);
    int64_t value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    return value;
  }
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(db_));
    }
    return stmt;
  }
  std::string Error() const { return sqlite3_errmsg(db_); }

 private:
  sqlite3* db_ = nullptr;
};

const char* ColumnType(engine::FieldType type) {
  switch (type) {
    case engine::FieldType::kInteger:
    case engine::FieldType::kDate:
    case engine::FieldType::kTimestamp:
      return "INTEGER";
    case engine::FieldType::kNumeric:
    case engine::FieldType::kDouble:
      return "REAL";
    default:
      return "TEXT";
  }
}

int32_t I32At(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return static_cast<int32_t>(v);
}

// Binds one field of a record image as its natural SQL value; blanks and empty values are NULL.
void BindField(sqlite3_stmt* stmt, int column, const engine::TableFile& table,
               const engine::Field& field, size_t index, const char* image) {
  const char* at = image + field.offset;
  switch (field.type) {
    case engine::FieldType::kInteger:
      sqlite3_bind_int64(stmt, column, I32At(at));
      return;
    case engine::FieldType::kDate: {
      const int32_t day = I32At(at);
      day == 0 ? sqlite3_bind_null(stmt, column) : sqlite3_bind_int64(stmt, column, day);
      return;
    }
    case engine::FieldType::kTimestamp: {
      const int64_t day = I32At(at), ms = I32At(at + 4);
      day == 0 && ms == 0 ? sqlite3_bind_null(stmt, column)
                          : sqlite3_bind_int64(stmt, column, day * 86400000 + ms);
      return;
    }
    case engine::FieldType::kNumeric:
    case engine::FieldType::kDouble: {
      const std::string text = table.FieldText(image, index);
      text.empty() ? sqlite3_bind_null(stmt, column)
                   : sqlite3_bind_double(stmt, column, std::strtod(text.c_str(), nullptr));
      return;
    }
    default: {
      size_t n = field.length;
      while (n > 0 && at[n - 1] == ' ') --n;
      sqlite3_bind_text(stmt, column, at, static_cast<int>(n), SQLITE_TRANSIENT);
      return;
    }
  }
}

std::string Columns(const std::string& expression) {
  std::string out = expression;
  for (char& c : out) {
    if (c == ';') c = ',';
  }
  return out;
}

}  // namespace

SqlComparison CompareWithSql(const std::string& table_path, const std::string& db_path,
                             const std::vector<std::pair<std::string, std::string>>& tags) {
  std::filesystem::remove(db_path);
  std::filesystem::remove(db_path + "-journal");
  SqlComparison result;
  Database db(db_path);

  {
    auto table = engine::TableFile::Open(table_path, engine::OpenMode::kReadOnly);
    const auto& fields = table->Fields();
    std::string create = "CREATE TABLE t(deleted INTEGER NOT NULL";
    std::string insert = "INSERT INTO t VALUES(?";
    for (const auto& field : fields) {
      create += ", " + field.name + " " + ColumnType(field.type);
      insert += ",?";
    }
    db.Exec(create + ")");
    const auto start = Clock::now();
    db.Exec("BEGIN");
    sqlite3_stmt* stmt = db.Prepare(insert + ")");
    std::string failure;
    table->ForEachRecord([&](uint32_t, bool deleted, const char* image) {
      sqlite3_bind_int(stmt, 1, deleted ? 1 : 0);
      for (size_t i = 0; i < fields.size(); ++i) {
        BindField(stmt, static_cast<int>(i) + 2, *table, fields[i], i, image);
      }
      if (sqlite3_step(stmt) != SQLITE_DONE) {
        failure = db.Error();
        return false;
      }
      sqlite3_reset(stmt);
      ++result.rows;
      if (deleted) ++result.deleted_rows;
      return true;
    });
    sqlite3_finalize(stmt);
    if (!failure.empty()) throw std::runtime_error("loading rows: " + failure);
    db.Exec("COMMIT");
    result.load_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  }

  for (const auto& [name, expression] : tags) {
    result.create_index.push_back(
        {name, db.TimedExec("CREATE INDEX " + name + " ON t(" + Columns(expression) + ")")});
  }
  result.reindex_seconds = db.TimedExec("REINDEX t");
  result.file_bytes_before_vacuum = std::filesystem::file_size(db_path);
  result.delete_seconds = db.TimedExec("DELETE FROM t WHERE deleted = 1");
  result.vacuum_seconds = db.TimedExec("VACUUM");
  result.file_bytes_after_vacuum = std::filesystem::file_size(db_path);
  result.rows_after = static_cast<uint64_t>(db.Count("SELECT count(*) FROM t"));
  return result;
}

}  // namespace kx::bench
