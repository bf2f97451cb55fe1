#include "src/db/ads_table.h"

#include <algorithm>
#include <cctype>

#include "src/common/ascii_case.h"
#include "src/db/ads_connection.h"
#include "src/db/alias_lookup.h"
#include "src/db/client_engine.h"
#include "src/db/db_error.h"
#include "src/db/engine_output.h"

namespace kx::db {

namespace {
constexpr char kOpenDataSet[] = "Cannot perform this operation on an open dataset";
constexpr char kMustNotBeActive[] = "Table must not be Active.";
constexpr char kAlreadyOpen[] = "Table is already open.";
constexpr char kMissingTableName[] = "Missing TableName property";
constexpr char kNoFolder[] =
    "One of the DatabaseName property or the AdsConnection property must have a value.";
constexpr char kInvalidConnection[] = "Internal Error: invalid connection handle.";
constexpr char kDefaultIndexName[] = "ADS_DEFAULT";

constexpr uint16_t kDefaultIndexProperty = 213;
constexpr uint16_t kDefaultIndexBufferLength = 200;
constexpr uint16_t kFieldNameLength = 129;
constexpr uint16_t kIndexNameLength = 260;
constexpr uint16_t kSegmentNameLength = 510;
constexpr uint16_t kIndexFileHandles = 50;
constexpr int kBlankRecordImages = 6;

bool IsKnownFieldType(uint16_t type) {
  return (type >= 1 && type <= 18) || (type >= 20 && type <= 22);
}

// Types whose fields carry decimals: numeric, double, currency-double and money.
bool HasDecimals(uint16_t type) { return type == 2 || type == 10 || type == 17 || type == 18; }

// The folder of a data-dictionary file path: everything up to its last separator.
std::string FolderOf(const std::string& path) {
  const size_t at = path.find_last_of("\\/");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

TAdsTableTypes TableTypeOfAlias(uint8_t alias_table_type, TAdsTableTypes current) {
  switch (alias_table_type) {
    case 1:
      return TAdsTableTypes::ttAdsCDX;
    case 2:
      return TAdsTableTypes::ttAdsNTX;
    case 3:
      return TAdsTableTypes::ttAdsADT;
    default:
      return current;
  }
}

TAdsTableTypes TableTypeOfEngine(uint16_t ace_type, TAdsTableTypes current) {
  switch (ace_type) {
    case 1:
      return TAdsTableTypes::ttAdsNTX;
    case 2:
      return TAdsTableTypes::ttAdsCDX;
    case 3:
      return TAdsTableTypes::ttAdsADT;
    default:
      return current;
  }
}

std::string Cut(const std::string& text, size_t length) { return text.substr(0, length); }

std::string TextOf(const char* buffer, size_t capacity) {
  return std::string(buffer, std::find(buffer, buffer + capacity, '\0'));
}
}  // namespace

uint32_t TIndexTagOptions::AceOptions() const {
  static constexpr uint32_t kBits[] = {0x2, 0x1, 0x8, 0x4, 0x10};
  uint32_t options = 0;
  for (unsigned i = 0; i < 5; ++i) {
    if ((bits_ >> i) & 1u) options |= kBits[i];
  }
  return options;
}

void TAdsIndexFiles::Add(const std::string& name) {
  const std::string key = AsciiUpperCase(name);
  auto at = std::lower_bound(
      names_.begin(), names_.end(), key,
      [](const std::string& a, const std::string& b) { return AsciiUpperCase(a) < b; });
  if (at != names_.end() && AsciiUpperCase(*at) == key) return;
  names_.insert(at, name);
}

uint16_t AceTableType(TAdsTableTypes type) {
  switch (type) {
    case TAdsTableTypes::ttAdsCDX:
      return 2;
    case TAdsTableTypes::ttAdsNTX:
      return 1;
    case TAdsTableTypes::ttAdsADT:
    case TAdsTableTypes::ttAdsDefault:
      return 3;
  }
  return 3;
}

TAdsTable::TAdsTable(std::string name, std::string owner_name)
    : name_(std::move(name)), owner_name_(std::move(owner_name)), aliases_(&DefaultAliasLookup()) {}

TAdsTable::~TAdsTable() {
  destroying_ = true;
  if (active_) {
    active_ = false;
    try {
      CloseCursor();
    } catch (...) {
    }
  }
  if (connection_ != nullptr) connection_->RemoveDataSet(this);
}

ClientEngine& TAdsTable::Engine() const {
  // Every engine call is made with a connection; the callers check for one first.
  return connection_->Engine();
}

void TAdsTable::Check(AceResult result) { CheckAceResult(Engine(), this, result); }

void TAdsTable::Fail(const std::string& text) {
  throw EADSDatabaseError(this, text, kAceErrorOwnCheck);
}

void TAdsTable::RefuseWhileOpen(const char* text) {
  if (active_) Fail(text);
}

// --- Properties --------------------------------------------------------------------------

void TAdsTable::SetTableName(const std::string& name) {
  RefuseWhileOpen(kOpenDataSet);
  if (name != table_name_ && !loading_) index_files_.Clear();
  table_name_ = name;
  if (connection_ != nullptr && connection_->IsDictionaryConnection()) RefreshDefaultIndex();
  PropertyChanged();
}

void TAdsTable::RefreshDefaultIndex() {
  if (connection_ == nullptr) return;
  char buffer[kDefaultIndexBufferLength + 1] = {};
  uint16_t length = kDefaultIndexBufferLength;
  const AceResult result = Engine().AdsDDGetTableProperty(
      connection_->ConnectionHandle(), table_name_.c_str(), kDefaultIndexProperty, buffer, &length);
  if (result == 0) {
    default_index_ = TextOf(buffer, kDefaultIndexBufferLength);
    if (index_name_ == kDefaultIndexName || (index_name_.empty() && !loading_)) {
      index_name_ = kDefaultIndexName;
    }
  } else if (result == kAceResultNoDefaultIndex && index_name_ == kDefaultIndexName) {
    index_name_.clear();
  }
}

void TAdsTable::SetExclusive(bool exclusive) {
  if (active_) {
    throw EDatabaseError(name_.empty() ? std::string(kOpenDataSet) : name_ + ": " + kOpenDataSet);
  }
  exclusive_ = exclusive;
}

void TAdsTable::SetReadOnly(bool read_only) {
  if (active_) {
    throw EDatabaseError(name_.empty() ? std::string(kOpenDataSet) : name_ + ": " + kOpenDataSet);
  }
  read_only_ = read_only;
}

void TAdsTable::SetTableType(TAdsTableTypes type) {
  RefuseWhileOpen(kOpenDataSet);
  table_type_ = type;
  ace_table_type_ = AceTableType(type);
}

void TAdsTable::ApplyAliasTableType(uint8_t alias_table_type) {
  table_type_ = TableTypeOfAlias(alias_table_type, table_type_);
  ace_table_type_ = AceTableType(table_type_);
}

void TAdsTable::SetIndexCollationMismatch(TIndexCollationMismatchOptions option) {
  RefuseWhileOpen(kOpenDataSet);
  collation_ = option;
}

void TAdsTable::SetDatabaseName(const std::string& name) {
  RefuseWhileOpen(kOpenDataSet);
  database_name_ = name;
  alias_path_.clear();
}

void TAdsTable::SetAdsConnection(TAdsConnection* connection) {
  RefuseWhileOpen(kMustNotBeActive);
  if (connection == connection_) return;
  if (connection_ != nullptr) connection_->RemoveDataSet(this);
  connection_ = connection;
  if (connection_ != nullptr) connection_->AddDataSet(this);
}

void TAdsTable::DetachConnection() { connection_ = nullptr; }

void TAdsTable::SetAdsLockType(TAdsLockTypes type) {
  RefuseWhileOpen(kMustNotBeActive);
  options_.AdsLockType = type;
}

void TAdsTable::SetAdsCharType(TAdsCharTypes type) {
  RefuseWhileOpen(kMustNotBeActive);
  options_.AdsCharType = type;
}

void TAdsTable::SetAdsRightsCheck(bool check) {
  RefuseWhileOpen(kMustNotBeActive);
  options_.AdsRightsCheck = check;
}

std::string TAdsTable::ResolveDatabasePath() {
  std::string path;
  if (!alias_path_.empty()) {
    path = alias_path_;
  } else if (database_name_.empty() ||
             (connection_ != nullptr &&
              (SameTextIgnoringCase(database_name_, connection_->Name()) ||
               SameTextIgnoringCase(database_name_,
                                    connection_->OwnerName() + "." + connection_->Name())))) {
    if (connection_ != nullptr) {
      path = connection_->ConnectionPath();
      if (connection_->IsDictionaryConnection()) path = FolderOf(path);
      ApplyAliasTableType(connection_->AliasTableType());
    }
  } else if (database_name_.find_first_of("/\\") != std::string::npos) {
    path = database_name_;
  } else {
    const ResolvedAlias alias = ResolveAlias(*aliases_, database_name_);
    if (alias.found) {
      alias_path_ = alias.path;
      path = alias.path;
      ApplyAliasTableType(alias.table_type);
    } else {
      path = database_name_;
    }
  }
  if (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

// --- Open and close ----------------------------------------------------------------------

void TAdsTable::SetActive(bool active) {
  if (active == active_) return;
  if (active) {
    DoOpen();
  } else {
    DoClose(!destroying_);
  }
}

void TAdsTable::DoOpen() {
  if (BeforeOpen) BeforeOpen(*this);
  try {
    if (table_handle_ != kNoHandle) Fail(kAlreadyOpen);
    table_handle_ = OpenTableHandle();
    ReadBackAfterOpen();
  } catch (...) {
    active_ = false;
    try {
      CloseCursor();
    } catch (...) {
    }
    throw;
  }
  active_ = true;
  if (AfterOpen) AfterOpen(*this);
  if (has_record_ && AfterScroll) AfterScroll(*this);
}

AceHandle TAdsTable::OpenTableHandle() {
  if (table_name_.empty()) Fail(kMissingTableName);

  uint32_t options = 0;
  if (exclusive_) options |= kAceOpenExclusive;
  if (read_only_) options |= kAceOpenReadOnly;
  if (connection_ != nullptr && connection_->ReadOnly()) {
    options |= kAceOpenReadOnly;
    read_only_ = true;
  }
  if (collation_ == TIndexCollationMismatchOptions::icmIgnore) options |= kAceOpenIgnoreMismatch;
  if (collation_ == TIndexCollationMismatchOptions::icmReindex) {
    options |= kAceOpenReindexOnMismatch;
  }
  const uint16_t lock_type = options_.AdsLockType == TAdsLockTypes::Proprietary ? 1 : 0;
  const uint16_t char_type = options_.AdsCharType == TAdsCharTypes::ANSI ? 1 : 2;
  const uint16_t rights = options_.AdsRightsCheck ? 1 : 2;

  std::string folder = ResolveDatabasePath();
  if (folder.empty()) Fail(kNoFolder);
  auto table_path = [&] {
    const bool dictionary = connection_ != nullptr && connection_->IsDictionaryConnection();
    return dictionary ? table_name_ : folder + "\\" + table_name_;
  };
  std::string path = table_path();
  if (connection_ != nullptr && !connection_->IsConnected()) {
    connection_->SetIsConnected(true);
    folder = ResolveDatabasePath();
    path = table_path();
  }
  const AceHandle connection_handle = connection_ != nullptr ? connection_->ConnectionHandle() : 0;
  if (connection_handle == 0 || connection_handle == kNoHandle) Fail(kInvalidConnection);
  const bool dictionary = connection_->IsDictionaryConnection();
  const uint16_t table_type = dictionary ? 0 : ace_table_type_;

  ClientEngine& engine = Engine();
  AceHandle handle = kNoHandle;
  AceResult result = engine.AdsOpenTable(connection_handle, path.c_str(), nullptr, table_type,
                                         char_type, lock_type, rights, options, &handle);
  if (result == kAceResultDictionaryRetry && dictionary) {
    const std::string free_path = folder + "\\" + table_name_;
    result = engine.AdsOpenTable(connection_handle, free_path.c_str(), nullptr, ace_table_type_,
                                 char_type, lock_type, rights, options, &handle);
  }
  Check(result);

  // From here on the engine holds the table open: any failure closes it again, so that an
  // exclusive open never outlives a failed open.
  try {
    Check(engine.AdsGetTableType(handle, &engine_table_type_));
    if (dictionary) {
      table_type_ = TableTypeOfEngine(engine_table_type_, table_type_);
      ace_table_type_ = AceTableType(table_type_);
      EngineOutput<uint16_t> engine_char_type;
      Check(engine.AdsGetTableCharType(handle, engine_char_type.Out()));
      options_.AdsCharType =
          engine_char_type.Value() == 2 ? TAdsCharTypes::OEM : TAdsCharTypes::ANSI;
    }
    if (!encryption_password_.empty()) {
      EngineOutput<uint16_t> encrypted, enabled;
      Check(engine.AdsIsTableEncrypted(handle, encrypted.Out()));
      Check(engine.AdsIsEncryptionEnabled(handle, enabled.Out()));
      if (encrypted.Value() && !enabled.Value()) {
        Check(engine.AdsEnableEncryption(handle, encryption_password_.c_str()));
      }
    }
    for (const std::string& index_file : index_files_.Names()) {
      const std::string index_path = folder + "\\" + index_file;
      AceHandle indexes[kIndexFileHandles] = {};
      uint16_t count = kIndexFileHandles;
      Check(engine.AdsOpenIndex(handle, index_path.c_str(), indexes, &count));
    }
  } catch (...) {
    engine.AdsCloseTable(handle);
    throw;
  }
  return handle;
}

void TAdsTable::ReadBackAfterOpen() {
  ClientEngine& engine = Engine();
  const AceHandle handle = table_handle_;

  Check(engine.AdsGetRecordLength(handle, &record_length_));
  Check(engine.AdsGetTableOpenOptions(handle, &open_options_));
  can_modify_ = (open_options_ & kAceOpenReadOnly) == 0;
  if (can_modify_ && (open_options_ & kAceOpenExclusive) != 0) {
    EngineOutput<uint16_t> is_statement;
    if (engine.AdsSqlPeekStatement(handle, is_statement.Out()) == 0 && !is_statement.Value()) {
      exclusive_ = true;
    }
  }

  if (options_.AdsRecordCache == TAdsRecordCacheTypes::rcNone) {
    Check(engine.AdsCacheRecords(handle, 0));
  } else if (options_.AdsRecordCache == TAdsRecordCacheTypes::rcAggressive) {
    Check(engine.AdsCacheRecords(handle, 100));
  }

  // The page size of the first index the engine opened with the table, used when tags are
  // created; 0 when there is none or it cannot be read.
  AceHandle first_index = 0;
  uint16_t index_count = 1;
  const AceResult all = engine.AdsGetAllIndexes(handle, &first_index, &index_count);
  EngineOutput<uint32_t> page_size;
  if ((all == 0 || all == kAceResultIndexBufferSmall) && index_count > 0 &&
      engine.AdsGetIndexPageSize(first_index, page_size.Out()) == 0) {
    options_.AdsIndexPageSize = static_cast<uint16_t>(page_size.Value());
  } else {
    options_.AdsIndexPageSize = 0;
  }

  EngineOutput<uint32_t> bookmark_length;
  Check(engine.AdsGetBookmarkLength(handle, bookmark_length.Out()));
  bookmark_length_ = bookmark_length.Value();

  EngineOutput<uint16_t> field_count;
  Check(engine.AdsGetNumFields(handle, field_count.Out()));
  blank_records_.assign(kBlankRecordImages, std::vector<char>(record_length_ + 1, '\0'));
  for (std::vector<char>& image : blank_records_) {
    Check(engine.AdsGetNumFields(handle, field_count.Out()));
    Check(engine.AdsGetNullRecord(handle, image.data(), record_length_));
  }

  ReadFieldDefinitions();
  ReadIndexDefinitions();
  definitions_current_ = true;

  if (index_name_.empty()) {
    order_handle_ = handle;
  } else {
    const std::string name = index_name_ == kDefaultIndexName ? default_index_ : index_name_;
    AceHandle order = kNoHandle;
    Check(engine.AdsGetIndexHandle(handle, name.c_str(), &order));
    order_handle_ = order;
  }

  Check(engine.AdsGotoBOF(order_handle_));
  FillRecordWindow(1);
}

void TAdsTable::ReadFieldDefinitions() {
  ClientEngine& engine = Engine();
  const AceHandle handle = table_handle_;
  EngineOutput<uint16_t> count;
  Check(engine.AdsGetNumFields(handle, count.Out()));
  field_names_.clear();
  for (uint16_t number = 1; number <= count.Value(); ++number) {
    const char* field = AceFieldNumber(number);
    EngineOutput<uint16_t> type_output;
    Check(engine.AdsGetFieldType(handle, field, type_output.Out()));
    const uint16_t type = type_output.Value();
    if (!IsKnownFieldType(type)) {
      Fail("Unknown field type (" + std::to_string(type) + ") encountered.");
    }
    EngineOutput<uint32_t> length;
    Check(engine.AdsGetFieldLength(handle, field, length.Out()));
    if (HasDecimals(type)) {
      EngineOutput<uint16_t> decimals;
      Check(engine.AdsGetFieldDecimals(handle, field, decimals.Out()));
    }
    char name[kFieldNameLength + 1] = {};
    uint16_t name_length = kFieldNameLength;
    Check(engine.AdsGetFieldName(handle, number, name, &name_length));
    EngineOutput<uint32_t> offset;
    Check(engine.AdsGetFieldOffset(handle, field, offset.Out()));
    EngineOutput<uint8_t> permissions;
    Check(engine.AdsGetColumnPermissions(handle, number, permissions.Out()));
    field_names_.push_back(TextOf(name, kFieldNameLength));
  }
}

void TAdsTable::ReadIndexDefinitions() {
  ClientEngine& engine = Engine();
  const AceHandle handle = table_handle_;
  EngineOutput<uint16_t> count_output;
  Check(engine.AdsGetNumIndexes(handle, count_output.Out()));
  const uint16_t count = count_output.Value();
  std::vector<AceHandle> indexes(std::max<uint16_t>(count, 1), 0);
  uint16_t listed = count;
  Check(engine.AdsGetAllIndexes(handle, indexes.data(), &listed));
  index_names_.clear();
  for (uint16_t i = 0; i < std::min(listed, count); ++i) {
    const AceHandle index = indexes[i];
    char name[kIndexNameLength + 1] = {};
    uint16_t name_length = kIndexNameLength;
    Check(engine.AdsGetIndexName(index, name, &name_length));
    EngineOutput<uint16_t> segments;
    Check(engine.AdsGetNumSegments(index, segments.Out()));
    for (uint16_t segment = 1; segment <= segments.Value(); ++segment) {
      char field[kSegmentNameLength + 1] = {};
      uint16_t field_length = kSegmentNameLength;
      Check(engine.AdsGetSegmentFieldname(index, segment, field, &field_length));
    }
    EngineOutput<uint16_t> descending, unique, primary_key;
    Check(engine.AdsIsIndexDescending(index, descending.Out()));
    Check(engine.AdsIsIndexUnique(index, unique.Out()));
    Check(engine.AdsIsIndexPrimaryKey(index, primary_key.Out()));
    index_names_.push_back(TextOf(name, kIndexNameLength));
  }
}

// Reads the record under the cursor into the one-record window.
TAdsTable::CursorRecord TAdsTable::ReadCurrentRecord() {
  ClientEngine& engine = Engine();
  const AceHandle cursor = order_handle_;
  EngineOutput<uint16_t> at_eof, at_bof, visible;
  Check(engine.AdsAtEOF(cursor, at_eof.Out()));
  Check(engine.AdsAtBOF(cursor, at_bof.Out()));
  if (at_eof.Value() || at_bof.Value()) return CursorRecord::kOutside;
  const AceResult shown = engine.AdsIsRecordVisible(cursor, visible.Out());
  if (shown != kAceResultIndexWarning) Check(shown);
  if (!visible.Value()) return CursorRecord::kHidden;
  record_.assign(record_length_ + 1, '\0');
  uint32_t length = record_length_;
  Check(engine.AdsGetRecord(cursor, record_.data(), &length));
  bookmark_.assign(std::max<uint32_t>(bookmark_length_, 1), '\0');
  uint32_t bookmark_length = bookmark_length_;
  Check(engine.AdsGetBookmark60(cursor, bookmark_.data(), &bookmark_length));
  return CursorRecord::kRead;
}

// Steps through the records by `step` (1 forward, -1 back) until a visible record is read
// or the cursor leaves the table.
bool TAdsTable::FillRecordWindow(int32_t step) {
  ClientEngine& engine = Engine();
  has_record_ = false;
  for (;;) {
    Check(engine.AdsSkip(order_handle_, step));
    const CursorRecord found = ReadCurrentRecord();
    if (found == CursorRecord::kOutside) return false;
    if (found == CursorRecord::kRead) {
      has_record_ = true;
      return true;
    }
  }
}

void TAdsTable::DoClose(bool fire_events) {
  if (fire_events && BeforeClose) BeforeClose(*this);
  active_ = false;
  CloseCursor();
  if (fire_events && AfterClose) AfterClose(*this);
}

void TAdsTable::CloseCursor() {
  blank_records_.clear();
  record_.clear();
  bookmark_.clear();
  has_record_ = false;
  if (table_handle_ != kNoHandle) {
    try {
      // A table the engine cannot close cleanly still counts as closed here.
      Check(Engine().AdsCloseTable(table_handle_));
    } catch (...) {
    }
  }
  table_handle_ = kNoHandle;
  order_handle_ = kNoHandle;
  can_modify_ = false;
}

// --- Index tags and packing --------------------------------------------------------------

void TAdsTable::CreateIndexTag(const std::string& file_name, const std::string& tag,
                               const std::string& expression, const std::string& condition,
                               const std::string& while_condition, TIndexTagOptions options) {
  const std::string file_field = Cut(file_name, kIndexFileLength);
  const std::string tag_field = Cut(tag, kTagLength);
  const std::string expression_field = Cut(expression, kExpressionLength);
  const std::string condition_field = Cut(condition, kExpressionLength);
  const std::string while_field = Cut(while_condition, kExpressionLength);
  if (connection_ == nullptr) Fail(kNoFolder);
  AceHandle index = 0;
  const AceResult result = Engine().AdsCreateIndex61(
      table_handle_, file_field.c_str(), tag_field.c_str(), expression_field.c_str(),
      condition_field.c_str(), while_field.c_str(), options.AceOptions(), options_.AdsIndexPageSize,
      &index);
  if (result != kAceResultIndexWarning) Check(result);
  PropertyChanged();
}

void TAdsTable::PackDeletedRecords() {
  if (!active_) return;
  ClientEngine& engine = Engine();
  Check(engine.AdsPackTable(table_handle_));
  // The window follows the current record, else the next, else the prior one.
  has_record_ = ReadCurrentRecord() == CursorRecord::kRead;
  if (!has_record_) FillRecordWindow(1);
  if (!has_record_) FillRecordWindow(-1);
  if (!has_record_) {
    record_.clear();
    bookmark_.clear();
  }
}

}  // namespace kx::db
