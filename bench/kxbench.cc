// Measurements of the rebuild on a data folder, each printed as one JSON object:
//   kxbench rebuild DIR          the rebuild run of every table, with each step timed
//   kxbench tags DIR             the tran table's tags alone: open, delete the index file,
//                                create each tag (each ends with a flushed index file)
//   kxbench pack DIR [--table-only]
//                                the tran table's pack alone; with --table-only its index
//                                file is removed first, so only the table is rewritten
//   kxbench sql DIR DBFILE       the same tags, REINDEX and DELETE+VACUUM in an SQL database
//   kxbench raw DIR OUTDIR       the raw reference of every table: each tag's sorted entries
//                                and a copy of the live records, written and flushed
// Each command is meant to run in a fresh process on a fresh copy of the folder, so that the
// peak resident memory it reports (maxrss_kib) is its own.
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/raw_reference.h"
#include "bench/rebuild_timing.h"
#include "bench/sqlite_compare.h"
#include "engine/table_file.h"
#include "src/rebuild/catalogue.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

long PeakResidentKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // kilobytes on Linux
}

double CpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// The bytes this process has sent to storage so far as the kernel counts them (write_bytes
// of /proc/self/io, less what truncation cancelled); -1 where the count is not to be had.
long long WrittenBytes() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  long long written = -1;
  long long cancelled = 0;
  while (io >> key >> value) {
    if (key == "write_bytes:") written = value;
    if (key == "cancelled_write_bytes:") cancelled = value;
  }
  return written < 0 ? -1 : written - cancelled;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

// Builds one JSON object, member by member.
class Json {
 public:
  Json& Add(const std::string& key, const std::string& raw) {
    text_.append(text_.empty() ? "{" : ",").append(Quote(key)).append(":").append(raw);
    return *this;
  }
  Json& Str(const std::string& key, const std::string& value) { return Add(key, Quote(value)); }
  Json& Num(const std::string& key, double value) { return Add(key, Number(value)); }
  Json& Int(const std::string& key, long long value) { return Add(key, std::to_string(value)); }
  Json& Bool(const std::string& key, bool value) { return Add(key, value ? "true" : "false"); }
  std::string Done() const { return text_.empty() ? std::string("{}") : text_ + "}"; }

 private:
  std::string text_;
};

std::string Array(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out.append(i ? "," : "").append(items[i]);
  return out + "]";
}

// Bytes written from `before` on and what they are against the bytes of the finished files.
Json& AddWrites(Json& json, long long before, long long finished_bytes) {
  const long long after = WrittenBytes();
  const long long written = before < 0 || after < 0 ? -1 : after - before;
  json.Int("write_bytes", written);
  json.Num("write_amplification",
           written < 0 || finished_bytes <= 0 ? -1.0 : double(written) / double(finished_bytes));
  return json;
}

const kx::rebuild::CatalogueEntry& TranEntry() {
  for (const kx::rebuild::CatalogueEntry& entry : kx::rebuild::kCatalogue) {
    if (entry.table_file == "tran.adt") return entry;
  }
  throw std::runtime_error("the catalogue has no tran table");
}

std::vector<std::pair<std::string, std::string>> TagsOf(const kx::rebuild::CatalogueEntry& entry) {
  std::vector<std::pair<std::string, std::string>> tags;
  for (const kx::rebuild::IndexTagDef& tag : entry) {
    tags.emplace_back(std::string(tag.name), std::string(tag.expression));
  }
  return tags;
}

std::string InFolder(const std::string& folder, std::string_view file) {
  return (std::filesystem::path(folder) / std::string(file)).string();
}

Json Common(const char* command) {
  Json json;
  json.Str("command", command);
  return json;
}

int CmdRebuild(const std::string& folder) {
  // The run forms its paths as folder + "\" + file; natively the engine takes either separator.
  const kx::bench::RebuildTiming timing = kx::bench::TimedRebuild(folder);
  std::vector<std::string> tables;
  for (const kx::bench::TableTiming& table : timing.tables) {
    std::vector<std::string> steps;
    for (const kx::bench::StepTime& step : table.steps) {
      steps.push_back(Json().Str("name", step.name).Num("seconds", step.seconds).Done());
    }
    tables.push_back(Json()
                         .Str("table", table.table)
                         .Num("seconds", table.Seconds())
                         .Add("steps", Array(steps))
                         .Done());
  }
  std::cout << Common("rebuild")
                   .Bool("completed", timing.completed)
                   .Str("error", timing.error)
                   .Num("connect_seconds", timing.connect_seconds)
                   .Num("seconds", timing.total_seconds)
                   .Num("cpu_seconds", CpuSeconds())
                   .Int("maxrss_kib", PeakResidentKib())
                   .Add("tables", Array(tables))
                   .Done()
            << "\n";
  return timing.completed ? 0 : 1;
}

int CmdTags(const std::string& folder) {
  const kx::rebuild::CatalogueEntry& tran = TranEntry();
  const auto start = Clock::now();
  auto table = kx::engine::TableFile::Open(InFolder(folder, tran.table_file),
                                           kx::engine::OpenMode::kExclusive);
  const double open_seconds = Since(start);
  std::filesystem::remove(table->IndexPath());
  std::vector<std::string> tags;
  double tag_total = 0;
  uint32_t entries = 0;
  const long long written_before = WrittenBytes();
  for (const auto& [name, expression] : TagsOf(tran)) {
    const auto tag_start = Clock::now();
    const kx::engine::TagInfo info = table->CreateIndex(name, expression);
    const double seconds = Since(tag_start);
    tag_total += seconds;
    entries = info.entry_count;
    tags.push_back(Json()
                       .Str("name", name)
                       .Num("seconds", seconds)
                       .Int("key_width", info.key_width)
                       .Int("entries", info.entry_count)
                       .Done());
  }
  const uint64_t index_bytes = std::filesystem::file_size(table->IndexPath());
  const uint64_t table_bytes = table->FileSize();
  const uint32_t records = table->RecordCount();
  table.reset();
  Json json = Common("tags");
  AddWrites(json, written_before, static_cast<long long>(index_bytes));
  std::cout << json.Num("open_seconds", open_seconds)
                   .Num("seconds", tag_total)
                   .Num("cpu_seconds", CpuSeconds())
                   .Int("records", records)
                   .Int("entries", entries)
                   .Int("table_bytes", static_cast<long long>(table_bytes))
                   .Int("index_bytes", static_cast<long long>(index_bytes))
                   .Int("maxrss_kib", PeakResidentKib())
                   .Add("tags", Array(tags))
                   .Done()
            << "\n";
  return 0;
}

int CmdPack(const std::string& folder, bool table_only) {
  const kx::rebuild::CatalogueEntry& tran = TranEntry();
  auto table = kx::engine::TableFile::Open(InFolder(folder, tran.table_file),
                                           kx::engine::OpenMode::kExclusive);
  if (table_only) std::filesystem::remove(table->IndexPath());
  const uint64_t bytes_before = table->FileSize();
  const uint32_t records_before = table->RecordCount();
  const size_t tags = table->Tags().size();
  const long long written_before = WrittenBytes();
  const auto start = Clock::now();
  table->Pack();
  const double seconds = Since(start);
  std::error_code no_index;
  const uintmax_t index_bytes = std::filesystem::file_size(table->IndexPath(), no_index);
  const long long finished =
      static_cast<long long>(table->FileSize() + (no_index ? 0 : index_bytes));
  Json json = Common("pack");
  AddWrites(json, written_before, finished);
  std::cout << json.Num("seconds", seconds)
                   .Num("cpu_seconds", CpuSeconds())
                   .Int("tags", static_cast<long long>(tags))
                   .Int("records_before", records_before)
                   .Int("records_after", table->RecordCount())
                   .Int("bytes_before", static_cast<long long>(bytes_before))
                   .Int("bytes_after", static_cast<long long>(table->FileSize()))
                   .Int("maxrss_kib", PeakResidentKib())
                   .Done()
            << "\n";
  return 0;
}

int CmdSql(const std::string& folder, const std::string& db_path) {
  const kx::rebuild::CatalogueEntry& tran = TranEntry();
  const kx::bench::SqlComparison sql =
      kx::bench::CompareWithSql(InFolder(folder, tran.table_file), db_path, TagsOf(tran));
  std::vector<std::string> indexes;
  double total = 0;
  for (const kx::bench::SqlStep& step : sql.create_index) {
    indexes.push_back(Json().Str("name", step.name).Num("seconds", step.seconds).Done());
    total += step.seconds;
  }
  std::cout << Common("sql")
                   .Str("engine", std::string("sqlite ") + sqlite3_libversion())
                   .Num("load_seconds", sql.load_seconds)
                   .Num("create_index_seconds", total)
                   .Add("create_index", Array(indexes))
                   .Num("reindex_seconds", sql.reindex_seconds)
                   .Num("delete_seconds", sql.delete_seconds)
                   .Num("vacuum_seconds", sql.vacuum_seconds)
                   .Int("rows", static_cast<long long>(sql.rows))
                   .Int("deleted_rows", static_cast<long long>(sql.deleted_rows))
                   .Int("rows_after", static_cast<long long>(sql.rows_after))
                   .Int("file_bytes_before_vacuum",
                        static_cast<long long>(sql.file_bytes_before_vacuum))
                   .Int("file_bytes_after_vacuum",
                        static_cast<long long>(sql.file_bytes_after_vacuum))
                   .Int("maxrss_kib", PeakResidentKib())
                   .Done()
            << "\n";
  return 0;
}

int CmdRaw(const std::string& folder, const std::string& out_dir) {
  std::filesystem::create_directories(out_dir);
  std::vector<std::string> tables;
  double total = 0;
  for (const kx::rebuild::CatalogueEntry& entry : kx::rebuild::kCatalogue) {
    const std::string table_path = InFolder(folder, entry.table_file);
    const std::string base(entry.table_file.substr(0, entry.table_file.size() - 4));
    std::vector<std::string> tags;
    double table_total = 0;
    for (const auto& [name, expression] : TagsOf(entry)) {
      const std::string out = InFolder(out_dir, base + "." + name + ".raw");
      const kx::bench::RawResult raw = kx::bench::RawTagBuild(table_path, expression, out);
      std::filesystem::remove(out);
      table_total += raw.seconds;
      tags.push_back(Json()
                         .Str("name", name)
                         .Num("seconds", raw.seconds)
                         .Int("entries", static_cast<long long>(raw.records))
                         .Int("bytes", static_cast<long long>(raw.bytes_written))
                         .Done());
    }
    const std::string copy_path = InFolder(out_dir, base + ".live.raw");
    const kx::bench::RawResult copy = kx::bench::RawLiveCopy(table_path, copy_path);
    std::filesystem::remove(copy_path);
    table_total += copy.seconds;
    total += table_total;
    tables.push_back(
        Json()
            .Str("table", std::string(entry.table_file))
            .Num("seconds", table_total)
            .Add("tags", Array(tags))
            .Num("live_copy_seconds", copy.seconds)
            .Int("live_records", static_cast<long long>(copy.records))
            .Int("table_bytes", static_cast<long long>(std::filesystem::file_size(table_path)))
            .Int("live_bytes", static_cast<long long>(copy.bytes_written))
            .Done());
  }
  std::cout << Common("raw")
                   .Num("seconds", total)
                   .Int("maxrss_kib", PeakResidentKib())
                   .Add("tables", Array(tables))
                   .Done()
            << "\n";
  return 0;
}

int Usage() {
  std::cerr << "usage: kxbench rebuild DIR | tags DIR | pack DIR [--table-only] | sql DIR DBFILE | "
               "raw DIR OUTDIR\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1], folder = argv[2];
  try {
    if (command == "rebuild" && argc == 3) return CmdRebuild(folder);
    if (command == "tags" && argc == 3) return CmdTags(folder);
    if (command == "pack" && argc == 3) return CmdPack(folder, false);
    if (command == "pack" && argc == 4 && std::string(argv[3]) == "--table-only") {
      return CmdPack(folder, true);
    }
    if (command == "sql" && argc == 4) return CmdSql(folder, argv[3]);
    if (command == "raw" && argc == 4) return CmdRaw(folder, argv[3]);
  } catch (const std::exception& error) {
    std::cerr << "kxbench " << command << ": " << error.what() << "\n";
    return 1;
  }
  return Usage();
}
