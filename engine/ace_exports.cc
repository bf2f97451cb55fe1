// The engine's exported C functions: handles over TableFile objects, errors turned into
// result codes and the calling thread's last error.
#include "engine/ace_exports.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/error_codes.h"
#include "engine/format.h"
#include "engine/os_file.h"
#include "engine/platform.h"
#include "engine/table_file.h"

using namespace kx::engine;

namespace {

thread_local uint32_t last_code = 0;
thread_local std::string last_text;

constexpr uint16_t kTableTypeOurs = 3;
constexpr uint32_t kOpenOptionMask =
    kAceOpenExclusive | kAceOpenReadOnly | kAceOpenReindexOnMismatch | kAceOpenIgnoreMismatch;
constexpr uint8_t kPermissionRead = 0x1, kPermissionUpdate = 0x2, kPermissionInsert = 0x4;

struct Connection {
  std::string path;
};

struct IndexObject {
  AceHandle table = 0;
  TagInfo info;
};

struct TableObject {
  AceHandle connection = 0;
  uint32_t options = 0;
  std::unique_ptr<TableFile> file;
  std::vector<AceHandle> indexes;  // in the index file's order
  // Cursor: 0 before the first record (BOF), record_count + 1 after the last (EOF).
  uint32_t position = 0;
  bool at_bof = true;
  bool at_eof = false;
};

// Every object the engine hands out, under one lock: the engine may be called from any
// thread, one call at a time per object.
struct Registry {
  std::recursive_mutex mutex;
  AceHandle next = 0x100;
  std::map<AceHandle, Connection> connections;
  std::map<AceHandle, TableObject> tables;
  std::map<AceHandle, IndexObject> indexes;
};
Registry& Objects() {
  static Registry* registry = new Registry;  // never destroyed: exports may run at exit
  return *registry;
}

std::string HandleText(AceHandle h) { return std::to_string(h); }

Connection& GetConnection(AceHandle h) {
  auto it = Objects().connections.find(h);
  if (it == Objects().connections.end()) Fail(kErrInvalidHandle, HandleText(h) + " (connection)");
  return it->second;
}
TableObject& GetTable(AceHandle h) {
  auto it = Objects().tables.find(h);
  if (it == Objects().tables.end()) Fail(kErrInvalidHandle, HandleText(h) + " (table)");
  return it->second;
}
IndexObject& GetIndex(AceHandle h) {
  auto it = Objects().indexes.find(h);
  if (it == Objects().indexes.end()) Fail(kErrInvalidHandle, HandleText(h) + " (index)");
  return it->second;
}

template <typename T>
T* Need(T* out, const char* what) {
  if (out == nullptr) Fail(kErrInvalidArgument, std::string("no place was given for ") + what);
  return out;
}

// Copies a text out: *length holds the buffer size in and the text length out. A text that
// does not fit is cut (and terminated) and the call fails with kErrBufferTooSmall.
void CopyText(const std::string& text, char* buffer, uint16_t* length, const char* what) {
  Need(length, "the length");
  Need(buffer, what);
  uint16_t room = *length;
  if (room == 0) Fail(kErrBufferTooSmall, what);
  size_t n = std::min<size_t>(text.size(), room - 1u);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  *length = static_cast<uint16_t>(std::min<size_t>(text.size(), 0xFFFF));
  if (n < text.size()) Fail(kErrBufferTooSmall, std::string(what) + " (" + text + ")");
}

std::string Text(const char* s) { return s == nullptr ? std::string() : std::string(s); }

const Field& GetField(TableObject& table, const char* field) {
  const auto& fields = table.file->Fields();
  if (field == nullptr) Fail(kErrInvalidArgument, "no field was named");
  if (AceFieldIsNumber(field)) {
    size_t number = reinterpret_cast<uintptr_t>(field);
    if (number < 1 || number > fields.size()) {
      Fail(kErrFieldNotFound, "number " + std::to_string(number) + " does not exist in the table " +
                                  table.file->Path() + ", which has " +
                                  std::to_string(fields.size()) + " fields.");
    }
    return fields[number - 1];
  }
  int i = table.file->FindField(field);
  if (i < 0) {
    Fail(kErrFieldNotFound,
         std::string(field) + " does not exist in the table " + table.file->Path() + ".");
  }
  return fields[static_cast<size_t>(i)];
}

// Brings the table's index handles in line with its index file: a handle per tag, kept for
// a tag that stays, dropped for a tag that is gone. An unreadable index file gives none.
void RefreshIndexes(AceHandle table_handle, TableObject& table) {
  Registry& r = Objects();
  std::vector<TagInfo> tags;
  try {
    tags = table.file->Tags();
  } catch (const EngineError&) {
    tags.clear();
  }
  std::vector<AceHandle> handles;
  for (const TagInfo& tag : tags) {
    AceHandle found = 0;
    for (AceHandle h : table.indexes) {
      if (EqualsIgnoreCase(r.indexes[h].info.name, tag.name)) found = h;
    }
    if (found == 0) {
      found = r.next++;
      r.indexes[found].table = table_handle;
    }
    r.indexes[found].info = tag;
    handles.push_back(found);
  }
  for (AceHandle h : table.indexes) {
    if (std::find(handles.begin(), handles.end(), h) == handles.end()) r.indexes.erase(h);
  }
  table.indexes = handles;
}

void CloseTableObject(AceHandle h) {
  Registry& r = Objects();
  auto it = r.tables.find(h);
  if (it == r.tables.end()) return;
  for (AceHandle index : it->second.indexes) r.indexes.erase(index);
  r.tables.erase(it);
}

bool IsLive(TableObject& t, uint32_t recno) { return !t.file->IsDeleted(recno); }

// Moves the cursor `rows` live records on (negative: back).
void Skip(TableObject& t, int64_t rows) {
  const uint32_t count = t.file->RecordCount();
  if (rows == 0) return;
  int step = rows > 0 ? 1 : -1;
  int64_t left = rows > 0 ? rows : -rows;
  int64_t pos = t.position;
  if (pos > count) pos = count + 1;
  while (left > 0) {
    pos += step;
    if (pos < 1 || pos > count) break;
    if (IsLive(t, static_cast<uint32_t>(pos))) --left;
  }
  if (pos < 1) {
    t.position = 0;
    t.at_bof = true;
    t.at_eof = false;
  } else if (pos > count) {
    t.position = count + 1;
    t.at_eof = true;
    t.at_bof = false;
  } else {
    t.position = static_cast<uint32_t>(pos);
    t.at_bof = t.at_eof = false;
  }
}

uint32_t CurrentRecord(TableObject& t) {
  if (t.position < 1 || t.position > t.file->RecordCount()) {
    Fail(kErrNoCurrentRecord, t.position == 0 ? "BOF" : "EOF");
  }
  return t.position;
}

AceResult Record(const EngineError& e) {
  last_code = e.Code();
  last_text = e.Message();
  return e.Code();
}

template <typename F>
AceResult Guard(F&& body) {
  try {
    std::lock_guard<std::recursive_mutex> lock(Objects().mutex);
    body();
    return 0;
  } catch (const EngineError& e) {
    return Record(e);
  } catch (const std::bad_alloc&) {
    return Record(EngineError(kErrIo, "the memory the operation needed"));
  } catch (const std::exception& e) {
    return Record(EngineError(kErrInvalidArgument, e.what()));
  }
}

bool EndsWithIgnoreCase(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  return s.size() >= n && EqualsIgnoreCase(std::string_view(s).substr(s.size() - n), suffix);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  char last = folder.back();
  if (last == '\\' || last == '/') return folder + name;
  return folder + PathSeparator() + name;
}

bool IsAbsoluteOrQualified(const std::string& name) {
  return name.find_first_of("\\/:") != std::string::npos;
}

}  // namespace

extern "C" {

ACE_EXPORT AceResult ACE_CALL AdsConnect60(const char* path, uint16_t server_types,
                                           const char* user, const char* password, uint32_t options,
                                           AceHandle* connection) {
  return Guard([&] {
    Need(connection, "the connection handle");
    std::string folder = Text(path);
    if (folder.empty()) Fail(kErrInvalidArgument, "the connect path is empty");
    if (!(server_types & kAceServerLocal)) {
      char types[16];
      std::snprintf(types, sizeof types, "0x%X", server_types);
      Fail(kErrServerUnavailable, types);
    }
    if (EndsWithIgnoreCase(folder, ".add")) Fail(kErrNotSupported, "data dictionaries");
    if (!FolderExists(folder)) Fail(kErrFolderNotFound, folder);
    Registry& r = Objects();
    AceHandle h = r.next++;
    r.connections[h].path = folder;
    *connection = h;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsDisconnect(AceHandle connection) {
  return Guard([&] {
    Registry& r = Objects();
    std::vector<AceHandle> closing;
    if (connection != 0) GetConnection(connection);
    for (auto& [h, t] : r.tables) {
      if (connection == 0 || t.connection == connection) closing.push_back(h);
    }
    for (AceHandle h : closing) CloseTableObject(h);
    if (connection == 0) {
      r.connections.clear();
    } else {
      r.connections.erase(connection);
    }
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetLastError(uint32_t* code, char* text, uint16_t* length) {
  if (code == nullptr || text == nullptr || length == nullptr || *length == 0) {
    return kErrInvalidArgument;
  }
  *code = last_code;
  size_t n = std::min<size_t>(last_text.size(), *length - 1u);
  std::memcpy(text, last_text.data(), n);
  text[n] = '\0';
  *length = static_cast<uint16_t>(n);
  return 0;
}

ACE_EXPORT AceResult ACE_CALL AdsShowError(const char* title) {
  std::string text = last_code == 0 ? std::string("No error has occurred.")
                                    : "Error " + std::to_string(last_code) + ": " + last_text;
  ShowErrorMessage(title == nullptr ? std::string("Error") : std::string(title), text);
  return 0;
}

ACE_EXPORT AceResult ACE_CALL AdsOpenTable(AceHandle connection, const char* name,
                                           const char* alias, uint16_t table_type,
                                           uint16_t char_type, uint16_t lock_type, uint16_t rights,
                                           uint32_t options, AceHandle* table) {
  return Guard([&] {
    Need(table, "the table handle");
    Connection& c = GetConnection(connection);
    std::string path = Text(name);
    if (path.empty()) Fail(kErrInvalidArgument, "no table name was given");
    if (table_type != 0 && table_type != kTableTypeOurs) {
      Fail(kErrNotSupported, "the table type " + std::to_string(table_type) + " (only " +
                                 std::to_string(kTableTypeOurs) + ")");
    }
    if (!IsAbsoluteOrQualified(path)) path = JoinPath(c.path, path);
    OpenMode mode = options & kAceOpenExclusive  ? OpenMode::kExclusive
                    : options & kAceOpenReadOnly ? OpenMode::kReadOnly
                                                 : OpenMode::kShared;
    TableObject t;
    t.connection = connection;
    t.options = options & kOpenOptionMask;
    t.file = TableFile::Open(path, mode);
    Registry& r = Objects();
    AceHandle h = r.next++;
    TableObject& stored = r.tables[h] = std::move(t);
    RefreshIndexes(h, stored);
    *table = h;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsCloseTable(AceHandle table) {
  return Guard([&] {
    GetTable(table);
    CloseTableObject(table);
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetTableType(AceHandle table, uint16_t* type) {
  return Guard([&] {
    GetTable(table);
    *Need(type, "the table type") = kTableTypeOurs;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetRecordLength(AceHandle table, uint32_t* length) {
  return Guard([&] { *Need(length, "the record length") = GetTable(table).file->RecordLength(); });
}

ACE_EXPORT AceResult ACE_CALL AdsGetBookmarkLength(AceHandle table, uint32_t* length) {
  return Guard([&] {
    GetTable(table);
    *Need(length, "the bookmark length") = 4;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetTableOpenOptions(AceHandle table, uint32_t* options) {
  return Guard([&] { *Need(options, "the open options") = GetTable(table).options; });
}

ACE_EXPORT AceResult ACE_CALL AdsSqlPeekStatement(AceHandle table, uint16_t* is_statement) {
  return Guard([&] {
    GetTable(table);
    *Need(is_statement, "the statement flag") = 0;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetAllIndexes(AceHandle table, AceHandle* indexes,
                                               uint16_t* count) {
  return Guard([&] {
    TableObject& t = GetTable(table);
    Need(count, "the index count");
    size_t room = *count;
    size_t n = std::min(room, t.indexes.size());
    if (n > 0) Need(indexes, "the index handles");
    for (size_t i = 0; i < n; ++i) indexes[i] = t.indexes[i];
    *count = static_cast<uint16_t>(n);
    if (n < t.indexes.size()) {
      Fail(kErrBufferTooSmall, std::to_string(t.indexes.size()) + " index handles (room for " +
                                   std::to_string(room) + ")");
    }
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetIndexPageSize(AceHandle index, uint32_t* size) {
  return Guard([&] { *Need(size, "the page size") = GetIndex(index).info.page_size; });
}

ACE_EXPORT AceResult ACE_CALL AdsGetNumFields(AceHandle table, uint16_t* count) {
  return Guard([&] {
    *Need(count, "the field count") = static_cast<uint16_t>(GetTable(table).file->Fields().size());
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetNullRecord(AceHandle table, char* buffer, uint32_t length) {
  return Guard([&] {
    TableObject& t = GetTable(table);
    Need(buffer, "the record");
    std::string blank = t.file->BlankRecord();
    if (length < blank.size()) {
      Fail(kErrBufferTooSmall, "a record of " + std::to_string(blank.size()) + " bytes (room for " +
                                   std::to_string(length) + ")");
    }
    std::memcpy(buffer, blank.data(), blank.size());
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetFieldType(AceHandle table, const char* field, uint16_t* type) {
  return Guard([&] {
    *Need(type, "the field type") = static_cast<uint16_t>(GetField(GetTable(table), field).type);
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetFieldLength(AceHandle table, const char* field,
                                                uint32_t* length) {
  return Guard(
      [&] { *Need(length, "the field length") = GetField(GetTable(table), field).length; });
}

ACE_EXPORT AceResult ACE_CALL AdsGetFieldDecimals(AceHandle table, const char* field,
                                                  uint16_t* decimals) {
  return Guard(
      [&] { *Need(decimals, "the decimals") = GetField(GetTable(table), field).decimals; });
}

ACE_EXPORT AceResult ACE_CALL AdsGetFieldName(AceHandle table, uint16_t field, char* name,
                                              uint16_t* length) {
  return Guard([&] {
    const Field& f = GetField(GetTable(table), AceFieldNumber(field));
    CopyText(f.name, name, length, "the field name");
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetFieldOffset(AceHandle table, const char* field,
                                                uint32_t* offset) {
  return Guard(
      [&] { *Need(offset, "the field offset") = GetField(GetTable(table), field).offset; });
}

ACE_EXPORT AceResult ACE_CALL AdsGetColumnPermissions(AceHandle table, uint16_t field,
                                                      uint8_t* permissions) {
  return Guard([&] {
    TableObject& t = GetTable(table);
    GetField(t, AceFieldNumber(field));
    bool writable = t.file->Mode() == OpenMode::kExclusive && !(t.options & kAceOpenReadOnly);
    *Need(permissions, "the permissions") =
        writable ? kPermissionRead | kPermissionUpdate | kPermissionInsert : kPermissionRead;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetNumIndexes(AceHandle table, uint16_t* count) {
  return Guard([&] {
    *Need(count, "the index count") = static_cast<uint16_t>(GetTable(table).indexes.size());
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetIndexName(AceHandle index, char* name, uint16_t* length) {
  return Guard([&] { CopyText(GetIndex(index).info.name, name, length, "the index name"); });
}

ACE_EXPORT AceResult ACE_CALL AdsGetNumSegments(AceHandle index, uint16_t* count) {
  return Guard([&] {
    const std::string& e = GetIndex(index).info.expression;
    *Need(count, "the segment count") =
        static_cast<uint16_t>(std::count(e.begin(), e.end(), ';') + 1);
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetSegmentFieldname(AceHandle index, uint16_t segment, char* name,
                                                     uint16_t* length) {
  return Guard([&] {
    const std::string& e = GetIndex(index).info.expression;
    // Segments are numbered from 1, in the order of the key expression.
    size_t start = 0;
    for (uint16_t s = 1; s < segment && start != std::string::npos; ++s) {
      start = e.find(';', start);
      if (start != std::string::npos) ++start;
    }
    if (segment < 1 || start == std::string::npos) {
      Fail(kErrInvalidArgument, "the index has no segment " + std::to_string(segment));
    }
    size_t end = e.find(';', start);
    std::string part = e.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t b = part.find_first_not_of(' '), l = part.find_last_not_of(' ');
    part = b == std::string::npos ? std::string() : part.substr(b, l - b + 1);
    CopyText(part, name, length, "the segment field name");
  });
}

ACE_EXPORT AceResult ACE_CALL AdsIsIndexDescending(AceHandle index, uint16_t* yes) {
  return Guard([&] {
    GetIndex(index);
    *Need(yes, "the answer") = 0;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsIsIndexUnique(AceHandle index, uint16_t* yes) {
  return Guard([&] {
    GetIndex(index);
    *Need(yes, "the answer") = 0;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsIsIndexPrimaryKey(AceHandle index, uint16_t* yes) {
  return Guard([&] {
    GetIndex(index);
    *Need(yes, "the answer") = 0;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGotoBOF(AceHandle cursor) {
  return Guard([&] {
    TableObject& t = GetTable(cursor);
    t.position = 0;
    t.at_bof = true;
    // With no live record the cursor is at both ends at once.
    uint32_t count = t.file->RecordCount();
    bool any = false;
    for (uint32_t r = 1; r <= count && !any; ++r) any = IsLive(t, r);
    t.at_eof = !any;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsSkip(AceHandle cursor, int32_t rows) {
  return Guard([&] { Skip(GetTable(cursor), rows); });
}

ACE_EXPORT AceResult ACE_CALL AdsAtEOF(AceHandle cursor, uint16_t* yes) {
  return Guard([&] { *Need(yes, "the answer") = GetTable(cursor).at_eof ? 1 : 0; });
}

ACE_EXPORT AceResult ACE_CALL AdsAtBOF(AceHandle cursor, uint16_t* yes) {
  return Guard([&] { *Need(yes, "the answer") = GetTable(cursor).at_bof ? 1 : 0; });
}

ACE_EXPORT AceResult ACE_CALL AdsIsRecordVisible(AceHandle cursor, uint16_t* yes) {
  return Guard([&] {
    TableObject& t = GetTable(cursor);
    bool on_record = t.position >= 1 && t.position <= t.file->RecordCount();
    *Need(yes, "the answer") = on_record && IsLive(t, t.position) ? 1 : 0;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetRecord(AceHandle cursor, char* buffer, uint32_t* length) {
  return Guard([&] {
    TableObject& t = GetTable(cursor);
    Need(length, "the record length");
    uint32_t recno = CurrentRecord(t);
    uint32_t need = t.file->RecordLength();
    if (*length < need) {
      uint32_t room = *length;
      *length = need;
      Fail(kErrBufferTooSmall, "a record of " + std::to_string(need) + " bytes (room for " +
                                   std::to_string(room) + ")");
    }
    Need(buffer, "the record");
    std::string image;
    t.file->ReadRecord(recno, &image);
    std::memcpy(buffer, image.data(), image.size());
    *length = need;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetBookmark60(AceHandle cursor, char* buffer, uint32_t* length) {
  return Guard([&] {
    TableObject& t = GetTable(cursor);
    Need(length, "the bookmark length");
    uint32_t recno = CurrentRecord(t);
    if (*length < 4) {
      *length = 4;
      Fail(kErrBufferTooSmall, "a bookmark of 4 bytes");
    }
    PutU32(Need(buffer, "the bookmark"), recno);
    *length = 4;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsCreateIndex61(AceHandle table, const char* file, const char* tag,
                                               const char* expression, const char* condition,
                                               const char* while_condition, uint32_t options,
                                               uint32_t page_size, AceHandle* index) {
  return Guard([&] {
    TableObject& t = GetTable(table);
    std::string file_name = Text(file);
    if (!file_name.empty() && !EqualsIgnoreCase(file_name, t.file->IndexPath())) {
      Fail(kErrNotSupported, "index files other than the table's own (" + file_name + ")");
    }
    if (!Text(condition).empty() || !Text(while_condition).empty()) {
      Fail(kErrNotSupported, "conditional index tags");
    }
    if (options != 0) Fail(kErrNotSupported, "index options other than 0");
    if (t.options & kAceOpenReadOnly) Fail(kErrReadOnly, t.file->Path());
    TagInfo info = t.file->CreateIndex(Text(tag), Text(expression), page_size);
    RefreshIndexes(table, t);
    if (index != nullptr) {
      *index = 0;
      for (AceHandle h : t.indexes) {
        if (EqualsIgnoreCase(Objects().indexes[h].info.name, info.name)) *index = h;
      }
    }
  });
}

ACE_EXPORT AceResult ACE_CALL AdsPackTable(AceHandle table) {
  return Guard([&] {
    TableObject& t = GetTable(table);
    if (t.options & kAceOpenReadOnly) Fail(kErrReadOnly, t.file->Path());
    t.file->Pack();
    RefreshIndexes(table, t);
    t.position = 0;
    t.at_bof = true;
    t.at_eof = false;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsCloseSQLStatement(AceHandle statement) {
  return Guard([&] { Fail(kErrNotSupported, "SQL statements"); });
}

ACE_EXPORT AceResult ACE_CALL AdsDDGetTableProperty(AceHandle connection, const char* table,
                                                    uint16_t property, char* buffer,
                                                    uint16_t* length) {
  return Guard([&] {
    GetConnection(connection);
    Fail(kErrNotSupported, "data dictionaries");
  });
}

ACE_EXPORT AceResult ACE_CALL AdsGetTableCharType(AceHandle table, uint16_t* char_type) {
  return Guard([&] {
    GetTable(table);
    *Need(char_type, "the character type") = 1;  // ANSI
  });
}

ACE_EXPORT AceResult ACE_CALL AdsIsTableEncrypted(AceHandle table, uint16_t* yes) {
  return Guard([&] {
    GetTable(table);
    *Need(yes, "the answer") = 0;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsIsEncryptionEnabled(AceHandle table, uint16_t* yes) {
  return Guard([&] {
    GetTable(table);
    *Need(yes, "the answer") = 0;
  });
}

ACE_EXPORT AceResult ACE_CALL AdsEnableEncryption(AceHandle table, const char* password) {
  return Guard([&] {
    GetTable(table);
    Fail(kErrNotSupported, "encrypted tables");
  });
}

ACE_EXPORT AceResult ACE_CALL AdsOpenIndex(AceHandle table, const char* name, AceHandle* indexes,
                                           uint16_t* count) {
  return Guard([&] {
    TableObject& t = GetTable(table);
    // The table's own index file is always open; any other is not supported.
    std::string file = Text(name);
    if (!EqualsIgnoreCase(file, t.file->IndexPath())) {
      Fail(kErrNotSupported, "index files other than the table's own (" + file + ")");
    }
    RefreshIndexes(table, t);
    Need(count, "the index count");
    size_t n = std::min<size_t>(*count, t.indexes.size());
    if (n > 0) Need(indexes, "the index handles");
    for (size_t i = 0; i < n; ++i) indexes[i] = t.indexes[i];
    *count = static_cast<uint16_t>(n);
    if (n < t.indexes.size()) Fail(kErrBufferTooSmall, "the index handles");
  });
}

ACE_EXPORT AceResult ACE_CALL AdsCacheRecords(AceHandle table, uint16_t records) {
  return Guard([&] { GetTable(table); });
}

ACE_EXPORT AceResult ACE_CALL AdsGetIndexHandle(AceHandle table, const char* name,
                                                AceHandle* index) {
  return Guard([&] {
    TableObject& t = GetTable(table);
    Need(index, "the index handle");
    std::string tag = Text(name);
    for (AceHandle h : t.indexes) {
      if (EqualsIgnoreCase(Objects().indexes[h].info.name, tag)) {
        *index = h;
        return;
      }
    }
    Fail(kErrTagNotFound, tag + " (in " + t.file->IndexPath() + ")");
  });
}

ACE_EXPORT AceResult ACE_CALL AdsCacheOpenTables(uint16_t tables) { return 0; }

ACE_EXPORT AceResult ACE_CALL AdsCacheOpenCursors(uint16_t cursors) { return 0; }

}  // extern "C"
