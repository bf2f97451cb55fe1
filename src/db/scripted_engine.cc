#include "src/db/scripted_engine.h"

#include <algorithm>
#include <cstring>

namespace kx::db {

namespace {
std::string Text(const char* text) { return text == nullptr ? "<null>" : std::string(text); }
std::string FieldText(const char* field) {
  if (AceFieldIsNumber(field)) {
    std::string text(1, '#');
    text += std::to_string(reinterpret_cast<uintptr_t>(field));
    return text;
  }
  return field;
}
template <typename T>
std::string Num(T value) {
  return std::to_string(value);
}

// Fills at most *length characters, as the engine does: a text that fills the buffer gets
// no terminator.
void CopyText(const std::string& text, char* buffer, uint16_t* length) {
  if (buffer == nullptr || length == nullptr) return;
  const size_t room = *length;
  const size_t n = std::min(text.size(), room);
  std::memcpy(buffer, text.data(), n);
  if (n < room) buffer[n] = '\0';
  *length = static_cast<uint16_t>(n);
}
}  // namespace

ScriptedEngine::ScriptedEngine() { fields.push_back({4, 10, "NAME"}); }

void ScriptedEngine::SetResult(const std::string& function, AceResult result) {
  results_[function] = result;
}

void ScriptedEngine::QueueResults(const std::string& function, std::vector<AceResult> results) {
  auto& queue = queued_[function];
  queue.insert(queue.end(), results.begin(), results.end());
}

void ScriptedEngine::SetLastError(uint32_t code, std::string text) {
  last_code_ = code;
  last_text_ = std::move(text);
}

std::vector<std::string> ScriptedEngine::CallNames() const {
  std::vector<std::string> names;
  for (const EngineCall& call : calls_) names.push_back(call.function);
  return names;
}

std::vector<EngineCall> ScriptedEngine::CallsTo(const std::string& function) const {
  std::vector<EngineCall> found;
  for (const EngineCall& call : calls_) {
    if (call.function == function) found.push_back(call);
  }
  return found;
}

size_t ScriptedEngine::CountOf(const std::string& function) const {
  return CallsTo(function).size();
}

AceResult ScriptedEngine::Result(const std::string& function) {
  auto queue = queued_.find(function);
  if (queue != queued_.end() && !queue->second.empty()) {
    const AceResult result = queue->second.front();
    queue->second.pop_front();
    return result;
  }
  auto result = results_.find(function);
  return result == results_.end() ? 0 : result->second;
}

AceResult ScriptedEngine::Record(const std::string& function, std::vector<std::string> args) {
  calls_.push_back({function, std::move(args)});
  return Result(function);
}

const ScriptedEngine::Index* ScriptedEngine::FindIndex(AceHandle handle) const {
  for (const Index& index : indexes) {
    if (index.handle == handle) return &index;
  }
  return nullptr;
}

const ScriptedEngine::Field* ScriptedEngine::FieldOf(const char* field) const {
  if (AceFieldIsNumber(field)) {
    const uintptr_t number = reinterpret_cast<uintptr_t>(field);
    return number >= 1 && number <= fields.size() ? &fields[number - 1] : nullptr;
  }
  for (const Field& f : fields) {
    if (f.name == field) return &f;
  }
  return nullptr;
}

AceResult ScriptedEngine::AdsConnect60(const char* path, uint16_t server_types, const char* user,
                                       const char* password, uint32_t options,
                                       AceHandle* connection) {
  const AceResult r = Record(
      "AdsConnect60", {Text(path), Num(server_types), Text(user), Text(password), Num(options)});
  if (r == 0) *connection = connection_handle;
  return r;
}

AceResult ScriptedEngine::AdsDisconnect(AceHandle connection) {
  return Record("AdsDisconnect", {Num(connection)});
}

AceResult ScriptedEngine::AdsGetLastError(uint32_t* code, char* text, uint16_t* length) {
  const AceResult r = Record("AdsGetLastError", {Num(*length)});
  if (r == 0) {
    *code = last_code_;
    CopyText(last_text_, text, length);
  }
  return r;
}

AceResult ScriptedEngine::AdsShowError(const char* title) {
  return Record("AdsShowError", {Text(title)});
}

AceResult ScriptedEngine::AdsOpenTable(AceHandle connection, const char* name, const char* alias,
                                       uint16_t table_type_arg, uint16_t char_type,
                                       uint16_t lock_type, uint16_t rights, uint32_t options,
                                       AceHandle* table) {
  const AceResult r =
      Record("AdsOpenTable", {Num(connection), Text(name), Text(alias), Num(table_type_arg),
                              Num(char_type), Num(lock_type), Num(rights), Num(options)});
  if (r == 0) {
    *table = next_table_handle++;
    open_tables_.push_back(*table);
    if (report_requested_options) open_options = options & 0x3;
  }
  return r;
}

AceResult ScriptedEngine::AdsCloseTable(AceHandle table) {
  const AceResult r = Record("AdsCloseTable", {Num(table)});
  open_tables_.erase(std::remove(open_tables_.begin(), open_tables_.end(), table),
                     open_tables_.end());
  return r;
}

AceResult ScriptedEngine::AdsGetTableType(AceHandle table, uint16_t* type) {
  const AceResult r = Record("AdsGetTableType", {Num(table)});
  if (r == 0) *type = table_type;
  return r;
}

AceResult ScriptedEngine::AdsGetRecordLength(AceHandle table, uint32_t* length) {
  const AceResult r = Record("AdsGetRecordLength", {Num(table)});
  if (r == 0) *length = record_length;
  return r;
}

AceResult ScriptedEngine::AdsGetBookmarkLength(AceHandle table, uint32_t* length) {
  const AceResult r = Record("AdsGetBookmarkLength", {Num(table)});
  if (r == 0) *length = bookmark_length;
  return r;
}

AceResult ScriptedEngine::AdsGetTableOpenOptions(AceHandle table, uint32_t* options) {
  const AceResult r = Record("AdsGetTableOpenOptions", {Num(table)});
  if (r == 0) *options = open_options;
  return r;
}

AceResult ScriptedEngine::AdsSqlPeekStatement(AceHandle table, uint16_t* is_statement) {
  const AceResult r = Record("AdsSqlPeekStatement", {Num(table)});
  if (r == 0) *is_statement = is_sql_statement;
  return r;
}

AceResult ScriptedEngine::AdsGetAllIndexes(AceHandle table, AceHandle* handles, uint16_t* count) {
  const uint16_t room = *count;
  std::vector<std::string> args = {Num(table), Num(room)};
  calls_.push_back({"AdsGetAllIndexes", std::move(args)});
  const size_t n = std::min<size_t>(room, indexes.size());
  for (size_t i = 0; i < n; ++i) handles[i] = indexes[i].handle;
  *count = static_cast<uint16_t>(n);
  const AceResult r = Result("AdsGetAllIndexes");
  if (r == 0 && indexes.size() > room) return 5005;
  return r;
}

AceResult ScriptedEngine::AdsGetIndexPageSize(AceHandle index, uint32_t* size) {
  const AceResult r = Record("AdsGetIndexPageSize", {Num(index)});
  if (r == 0) {
    const Index* found = FindIndex(index);
    *size = found != nullptr ? found->page_size : 0;
  }
  return r;
}

AceResult ScriptedEngine::AdsGetNumFields(AceHandle table, uint16_t* count) {
  const AceResult r = Record("AdsGetNumFields", {Num(table)});
  if (r == 0) *count = static_cast<uint16_t>(fields.size());
  return r;
}

AceResult ScriptedEngine::AdsGetNullRecord(AceHandle table, char* buffer, uint32_t length) {
  const AceResult r = Record("AdsGetNullRecord", {Num(table), Num(length)});
  if (r == 0 && buffer != nullptr) std::memset(buffer, ' ', length);
  return r;
}

AceResult ScriptedEngine::AdsGetFieldType(AceHandle table, const char* field, uint16_t* type) {
  const AceResult r = Record("AdsGetFieldType", {Num(table), FieldText(field)});
  const Field* f = FieldOf(field);
  if (r == 0) *type = f != nullptr ? f->type : 0;
  return r;
}

AceResult ScriptedEngine::AdsGetFieldLength(AceHandle table, const char* field, uint32_t* length) {
  const AceResult r = Record("AdsGetFieldLength", {Num(table), FieldText(field)});
  const Field* f = FieldOf(field);
  if (r == 0) *length = f != nullptr ? f->length : 0;
  return r;
}

AceResult ScriptedEngine::AdsGetFieldDecimals(AceHandle table, const char* field,
                                              uint16_t* decimals) {
  const AceResult r = Record("AdsGetFieldDecimals", {Num(table), FieldText(field)});
  if (r == 0) *decimals = 2;
  return r;
}

AceResult ScriptedEngine::AdsGetFieldName(AceHandle table, uint16_t field, char* name,
                                          uint16_t* length) {
  const AceResult r = Record("AdsGetFieldName", {Num(table), Num(field), Num(*length)});
  if (r == 0) {
    const Field* f = FieldOf(AceFieldNumber(field));
    CopyText(f != nullptr ? f->name : std::string(), name, length);
  }
  return r;
}

AceResult ScriptedEngine::AdsGetFieldOffset(AceHandle table, const char* field, uint32_t* offset) {
  const AceResult r = Record("AdsGetFieldOffset", {Num(table), FieldText(field)});
  if (r == 0) *offset = 1;
  return r;
}

AceResult ScriptedEngine::AdsGetColumnPermissions(AceHandle table, uint16_t field,
                                                  uint8_t* permissions) {
  const AceResult r = Record("AdsGetColumnPermissions", {Num(table), Num(field)});
  if (r == 0) *permissions = 0xFF;
  return r;
}

AceResult ScriptedEngine::AdsGetNumIndexes(AceHandle table, uint16_t* count) {
  const AceResult r = Record("AdsGetNumIndexes", {Num(table)});
  if (r == 0) *count = static_cast<uint16_t>(indexes.size());
  return r;
}

AceResult ScriptedEngine::AdsGetIndexName(AceHandle index, char* name, uint16_t* length) {
  const AceResult r = Record("AdsGetIndexName", {Num(index), Num(*length)});
  const Index* found = FindIndex(index);
  if (r == 0) CopyText(found != nullptr ? found->name : std::string(), name, length);
  return r;
}

AceResult ScriptedEngine::AdsGetNumSegments(AceHandle index, uint16_t* count) {
  const AceResult r = Record("AdsGetNumSegments", {Num(index)});
  const Index* found = FindIndex(index);
  if (r == 0) *count = found != nullptr ? static_cast<uint16_t>(found->segments.size()) : 0;
  return r;
}

AceResult ScriptedEngine::AdsGetSegmentFieldname(AceHandle index, uint16_t segment, char* name,
                                                 uint16_t* length) {
  const AceResult r = Record("AdsGetSegmentFieldname", {Num(index), Num(segment), Num(*length)});
  const Index* found = FindIndex(index);
  std::string field;
  if (found != nullptr && segment >= 1 && segment <= found->segments.size()) {
    field = found->segments[segment - 1];
  }
  if (r == 0) CopyText(field, name, length);
  return r;
}

AceResult ScriptedEngine::AdsIsIndexDescending(AceHandle index, uint16_t* yes) {
  const AceResult r = Record("AdsIsIndexDescending", {Num(index)});
  if (r == 0) *yes = 0;
  return r;
}

AceResult ScriptedEngine::AdsIsIndexUnique(AceHandle index, uint16_t* yes) {
  const AceResult r = Record("AdsIsIndexUnique", {Num(index)});
  if (r == 0) *yes = 0;
  return r;
}

AceResult ScriptedEngine::AdsIsIndexPrimaryKey(AceHandle index, uint16_t* yes) {
  const AceResult r = Record("AdsIsIndexPrimaryKey", {Num(index)});
  if (r == 0) *yes = 0;
  return r;
}

AceResult ScriptedEngine::AdsGotoBOF(AceHandle cursor) {
  const AceResult r = Record("AdsGotoBOF", {Num(cursor)});
  if (r == 0) position_ = 0;
  return r;
}

AceResult ScriptedEngine::AdsSkip(AceHandle cursor, int32_t rows) {
  const AceResult r = Record("AdsSkip", {Num(cursor), Num(rows)});
  if (r == 0) {
    position_ = std::clamp<int64_t>(position_ + rows, 0, int64_t{record_count} + 1);
  }
  return r;
}

AceResult ScriptedEngine::AdsAtEOF(AceHandle cursor, uint16_t* yes) {
  const AceResult r = Record("AdsAtEOF", {Num(cursor)});
  if (r == 0) *yes = position_ > int64_t{record_count} ? 1 : 0;
  return r;
}

AceResult ScriptedEngine::AdsAtBOF(AceHandle cursor, uint16_t* yes) {
  const AceResult r = Record("AdsAtBOF", {Num(cursor)});
  if (r == 0) *yes = position_ < 1 ? 1 : 0;
  return r;
}

AceResult ScriptedEngine::AdsIsRecordVisible(AceHandle cursor, uint16_t* yes) {
  const AceResult r = Record("AdsIsRecordVisible", {Num(cursor)});
  *yes = record_visible;
  return r;
}

AceResult ScriptedEngine::AdsGetRecord(AceHandle cursor, char* buffer, uint32_t* length) {
  const AceResult r = Record("AdsGetRecord", {Num(cursor), Num(*length)});
  if (r == 0 && buffer != nullptr) std::memset(buffer, 'R', *length);
  return r;
}

AceResult ScriptedEngine::AdsGetBookmark60(AceHandle cursor, char* buffer, uint32_t* length) {
  const AceResult r = Record("AdsGetBookmark60", {Num(cursor), Num(*length)});
  if (r == 0 && buffer != nullptr) std::memset(buffer, 'B', *length);
  return r;
}

AceResult ScriptedEngine::AdsCreateIndex61(AceHandle table, const char* file, const char* tag,
                                           const char* expression, const char* condition,
                                           const char* while_condition, uint32_t options,
                                           uint32_t page_size, AceHandle* index) {
  const AceResult r = Record("AdsCreateIndex61",
                             {Num(table), Text(file), Text(tag), Text(expression), Text(condition),
                              Text(while_condition), Num(options), Num(page_size)});
  if (r == 0) *index = next_index_handle_++;
  return r;
}

AceResult ScriptedEngine::AdsPackTable(AceHandle table) {
  return Record("AdsPackTable", {Num(table)});
}

AceResult ScriptedEngine::AdsCloseSQLStatement(AceHandle statement) {
  return Record("AdsCloseSQLStatement", {Num(statement)});
}

AceResult ScriptedEngine::AdsDDGetTableProperty(AceHandle connection, const char* table,
                                                uint16_t property, char* buffer, uint16_t* length) {
  const AceResult r =
      Record("AdsDDGetTableProperty", {Num(connection), Text(table), Num(property), Num(*length)});
  if (r == 0) CopyText("DEFAULTTAG", buffer, length);
  return r;
}

AceResult ScriptedEngine::AdsGetTableCharType(AceHandle table, uint16_t* char_type) {
  const AceResult r = Record("AdsGetTableCharType", {Num(table)});
  if (r == 0) *char_type = 1;
  return r;
}

AceResult ScriptedEngine::AdsIsTableEncrypted(AceHandle table, uint16_t* yes) {
  const AceResult r = Record("AdsIsTableEncrypted", {Num(table)});
  if (r == 0) *yes = 0;
  return r;
}

AceResult ScriptedEngine::AdsIsEncryptionEnabled(AceHandle table, uint16_t* yes) {
  const AceResult r = Record("AdsIsEncryptionEnabled", {Num(table)});
  if (r == 0) *yes = 0;
  return r;
}

AceResult ScriptedEngine::AdsEnableEncryption(AceHandle table, const char* password) {
  return Record("AdsEnableEncryption", {Num(table), Text(password)});
}

AceResult ScriptedEngine::AdsOpenIndex(AceHandle table, const char* name, AceHandle* handles,
                                       uint16_t* count) {
  const AceResult r = Record("AdsOpenIndex", {Num(table), Text(name), Num(*count)});
  if (r == 0) *count = 0;
  return r;
}

AceResult ScriptedEngine::AdsCacheRecords(AceHandle table, uint16_t records) {
  return Record("AdsCacheRecords", {Num(table), Num(records)});
}

AceResult ScriptedEngine::AdsGetIndexHandle(AceHandle table, const char* name, AceHandle* index) {
  const AceResult r = Record("AdsGetIndexHandle", {Num(table), Text(name)});
  if (r == 0) *index = next_index_handle_++;
  return r;
}

AceResult ScriptedEngine::AdsCacheOpenTables(uint16_t tables) {
  return Record("AdsCacheOpenTables", {Num(tables)});
}

AceResult ScriptedEngine::AdsCacheOpenCursors(uint16_t cursors) {
  return Record("AdsCacheOpenCursors", {Num(cursors)});
}

}  // namespace kx::db
