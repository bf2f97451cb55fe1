#include "bench/rebuild_timing.h"

#include <chrono>

#include "src/common/exception.h"
#include "src/db/ads_connection.h"
#include "src/db/ads_table.h"
#include "src/db/client_engine.h"
#include "src/db/linked_engine.h"
#include "src/rebuild/quiet_view.h"
#include "src/rebuild/rebuild_run.h"

namespace kx::bench {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Splits the run into steps: each mark ends the step under way and begins the next, so the
// time between two engine calls (the table component's own work) counts with the step it
// belongs to and the steps of a table add up to its whole span.
class StepClock {
 public:
  explicit StepClock(RebuildTiming* timing) : timing_(timing), start_(Clock::now()) {}

  // A table begins (after the connection, or after the previous table was closed): its
  // "open" step, with the table component's own set-up, runs until the next mark.
  void BeginTable() {
    const auto now = Clock::now();
    if (timing_->tables.empty()) timing_->connect_seconds = SecondsBetween(start_, now);
    EndStep(now);
    timing_->tables.push_back({});
    table_ = &timing_->tables.back();
    Begin("open", now);
  }
  void NameTable(const char* name) {
    if (table_ && table_->table.empty() && name) table_->table = name;
  }
  void Mark(const std::string& step) {
    if (table_) Begin(step, Clock::now());
  }
  // The run is over; a table begun after the last close was never opened and is dropped.
  void Finish() {
    const auto now = Clock::now();
    EndStep(now);
    timing_->total_seconds = SecondsBetween(start_, now);
    if (!timing_->tables.empty() && timing_->tables.back().table.empty()) {
      timing_->tables.pop_back();
    }
    table_ = nullptr;
  }

 private:
  void Begin(const std::string& step, Clock::time_point now) {
    EndStep(now);
    table_->steps.push_back({step, 0});
    step_start_ = now;
    in_step_ = true;
  }
  void EndStep(Clock::time_point now) {
    if (in_step_ && table_) table_->steps.back().seconds = SecondsBetween(step_start_, now);
    in_step_ = false;
  }

  RebuildTiming* timing_;
  Clock::time_point start_;
  Clock::time_point step_start_;
  TableTiming* table_ = nullptr;
  bool in_step_ = false;
};

// Forwards every call to the real engine and marks the steps of the run.
class TimingEngine : public db::ClientEngine {
 public:
  TimingEngine(db::ClientEngine& inner, StepClock& clock) : inner_(inner), clock_(clock) {}

#define KX_FORWARD(name, params, args) \
  AceResult name params override { return inner_.name args; }
  KX_FORWARD(AdsDisconnect, (AceHandle connection), (connection))
  KX_FORWARD(AdsGetLastError, (uint32_t * code, char* text, uint16_t* length), (code, text, length))
  KX_FORWARD(AdsShowError, (const char* title), (title))
  KX_FORWARD(AdsGetTableType, (AceHandle table, uint16_t* type), (table, type))
  KX_FORWARD(AdsGetRecordLength, (AceHandle table, uint32_t* length), (table, length))
  KX_FORWARD(AdsGetBookmarkLength, (AceHandle table, uint32_t* length), (table, length))
  KX_FORWARD(AdsGetTableOpenOptions, (AceHandle table, uint32_t* options), (table, options))
  KX_FORWARD(AdsSqlPeekStatement, (AceHandle table, uint16_t* is_statement), (table, is_statement))
  KX_FORWARD(AdsGetAllIndexes, (AceHandle table, AceHandle* indexes, uint16_t* count),
             (table, indexes, count))
  KX_FORWARD(AdsGetIndexPageSize, (AceHandle index, uint32_t* size), (index, size))
  KX_FORWARD(AdsGetNumFields, (AceHandle table, uint16_t* count), (table, count))
  KX_FORWARD(AdsGetNullRecord, (AceHandle table, char* buffer, uint32_t length),
             (table, buffer, length))
  KX_FORWARD(AdsGetFieldType, (AceHandle table, const char* field, uint16_t* type),
             (table, field, type))
  KX_FORWARD(AdsGetFieldLength, (AceHandle table, const char* field, uint32_t* length),
             (table, field, length))
  KX_FORWARD(AdsGetFieldDecimals, (AceHandle table, const char* field, uint16_t* decimals),
             (table, field, decimals))
  KX_FORWARD(AdsGetFieldName, (AceHandle table, uint16_t field, char* name, uint16_t* length),
             (table, field, name, length))
  KX_FORWARD(AdsGetFieldOffset, (AceHandle table, const char* field, uint32_t* offset),
             (table, field, offset))
  KX_FORWARD(AdsGetColumnPermissions, (AceHandle table, uint16_t field, uint8_t* permissions),
             (table, field, permissions))
  KX_FORWARD(AdsGetNumIndexes, (AceHandle table, uint16_t* count), (table, count))
  KX_FORWARD(AdsGetIndexName, (AceHandle index, char* name, uint16_t* length),
             (index, name, length))
  KX_FORWARD(AdsGetNumSegments, (AceHandle index, uint16_t* count), (index, count))
  KX_FORWARD(AdsGetSegmentFieldname,
             (AceHandle index, uint16_t segment, char* name, uint16_t* length),
             (index, segment, name, length))
  KX_FORWARD(AdsIsIndexDescending, (AceHandle index, uint16_t* yes), (index, yes))
  KX_FORWARD(AdsIsIndexUnique, (AceHandle index, uint16_t* yes), (index, yes))
  KX_FORWARD(AdsIsIndexPrimaryKey, (AceHandle index, uint16_t* yes), (index, yes))
  KX_FORWARD(AdsGotoBOF, (AceHandle cursor), (cursor))
  KX_FORWARD(AdsSkip, (AceHandle cursor, int32_t rows), (cursor, rows))
  KX_FORWARD(AdsAtEOF, (AceHandle cursor, uint16_t* yes), (cursor, yes))
  KX_FORWARD(AdsAtBOF, (AceHandle cursor, uint16_t* yes), (cursor, yes))
  KX_FORWARD(AdsIsRecordVisible, (AceHandle cursor, uint16_t* yes), (cursor, yes))
  KX_FORWARD(AdsGetRecord, (AceHandle cursor, char* buffer, uint32_t* length),
             (cursor, buffer, length))
  KX_FORWARD(AdsGetBookmark60, (AceHandle cursor, char* buffer, uint32_t* length),
             (cursor, buffer, length))
  KX_FORWARD(AdsCloseSQLStatement, (AceHandle statement), (statement))
  KX_FORWARD(AdsDDGetTableProperty,
             (AceHandle connection, const char* table, uint16_t property, char* buffer,
              uint16_t* length),
             (connection, table, property, buffer, length))
  KX_FORWARD(AdsGetTableCharType, (AceHandle table, uint16_t* char_type), (table, char_type))
  KX_FORWARD(AdsIsTableEncrypted, (AceHandle table, uint16_t* yes), (table, yes))
  KX_FORWARD(AdsIsEncryptionEnabled, (AceHandle table, uint16_t* yes), (table, yes))
  KX_FORWARD(AdsEnableEncryption, (AceHandle table, const char* password), (table, password))
  KX_FORWARD(AdsOpenIndex, (AceHandle table, const char* name, AceHandle* indexes, uint16_t* count),
             (table, name, indexes, count))
  KX_FORWARD(AdsCacheRecords, (AceHandle table, uint16_t records), (table, records))
  KX_FORWARD(AdsGetIndexHandle, (AceHandle table, const char* name, AceHandle* index),
             (table, name, index))
  KX_FORWARD(AdsCacheOpenTables, (uint16_t tables), (tables))
  KX_FORWARD(AdsCacheOpenCursors, (uint16_t cursors), (cursors))
#undef KX_FORWARD

  AceResult AdsConnect60(const char* path, uint16_t server_types, const char* user,
                         const char* password, uint32_t options, AceHandle* connection) override {
    const AceResult result =
        inner_.AdsConnect60(path, server_types, user, password, options, connection);
    if (result == 0) clock_.BeginTable();
    return result;
  }
  AceResult AdsOpenTable(AceHandle connection, const char* name, const char* alias,
                         uint16_t table_type, uint16_t char_type, uint16_t lock_type,
                         uint16_t rights, uint32_t options, AceHandle* table) override {
    clock_.NameTable(name);
    return inner_.AdsOpenTable(connection, name, alias, table_type, char_type, lock_type, rights,
                               options, table);
  }
  AceResult AdsCreateIndex61(AceHandle table, const char* file, const char* tag,
                             const char* expression, const char* condition,
                             const char* while_condition, uint32_t options, uint32_t page_size,
                             AceHandle* index) override {
    clock_.Mark(tag ? tag : "");
    return inner_.AdsCreateIndex61(table, file, tag, expression, condition, while_condition,
                                   options, page_size, index);
  }
  AceResult AdsPackTable(AceHandle table) override {
    clock_.Mark("pack");
    return inner_.AdsPackTable(table);
  }
  AceResult AdsCloseTable(AceHandle table) override {
    clock_.Mark("close");
    const AceResult result = inner_.AdsCloseTable(table);
    clock_.BeginTable();
    return result;
  }

 private:
  db::ClientEngine& inner_;
  StepClock& clock_;
};

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The real file system; the test for an index file begins the table's deletion step.
class TimingFileSystem : public rebuild::FileSystem {
 public:
  TimingFileSystem(rebuild::FileSystem& inner, StepClock& clock) : inner_(inner), clock_(clock) {}
  bool FileExists(const std::string& path) override {
    if (EndsWith(path, ".adi")) clock_.Mark("delete");
    return inner_.FileExists(path);
  }
  bool RemoveFile(const std::string& path) override { return inner_.RemoveFile(path); }

 private:
  rebuild::FileSystem& inner_;
  StepClock& clock_;
};

}  // namespace

double TableTiming::Seconds() const {
  double total = 0;
  for (const StepTime& step : steps) total += step.seconds;
  return total;
}

double TableTiming::StepSeconds(const std::string& name) const {
  double total = 0;
  for (const StepTime& step : steps) {
    if (step.name == name) total += step.seconds;
  }
  return total;
}

double TableTiming::TagSeconds() const {
  double total = 0;
  for (const StepTime& step : steps) {
    if (step.name != "open" && step.name != "delete" && step.name != "pack" &&
        step.name != "close") {
      total += step.seconds;
    }
  }
  return total;
}

RebuildTiming TimedRebuild(const std::string& folder) {
  RebuildTiming timing;
  StepClock clock(&timing);
  TimingEngine engine(db::LinkedClientEngine(), clock);
  TimingFileSystem files(rebuild::DefaultFileSystem(), clock);
  rebuild::QuietView view(folder);
  try {
    db::TAdsConnection connection(engine, "AdsConnection1");
    db::TAdsTable table("AdsTable1");
    rebuild::ConfigureRebuildComponents(connection, table);
    timing.completed = rebuild::Button1Click(view, files, connection, table) ==
                       rebuild::RebuildOutcome::kCompleted;
    if (!timing.completed) timing.error = view.Error();
  } catch (const Exception& error) {
    timing.error = error.Message();
  } catch (const std::exception& error) {
    timing.error = error.what();
  }
  clock.Finish();
  return timing;
}

}  // namespace kx::bench
