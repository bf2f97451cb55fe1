// The table component: opens one table of the connection's folder through the client engine,
// creates index tags on it, packs it and closes it.
//
// Opening calls AdsOpenTable with the folder (ResolveDatabasePath) + "\" + TableName and then
// reads back what the open gave (record length, open options, the first index's page size,
// field and index facts, the first visible record). Every engine failure raises
// EADSDatabaseError "<name>: <engine text>"; misuse raises it with code 5121 and a fixed text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ace32/ace_api.h"
#include "src/db/ads_dataset.h"

namespace kx::db {

class AliasLookup;
class ClientEngine;
class TAdsConnection;

enum class TAdsTableTypes { ttAdsCDX, ttAdsNTX, ttAdsADT, ttAdsDefault };
enum class TIndexCollationMismatchOptions { icmError, icmIgnore, icmReindex };
enum class TAdsLockTypes { Proprietary, Compatible };
enum class TAdsCharTypes { ANSI, OEM };
enum class TAdsRecordCacheTypes { rcNone, rcStandard, rcAggressive };

struct TAdsTableOptions {
  TAdsLockTypes AdsLockType = TAdsLockTypes::Proprietary;
  TAdsCharTypes AdsCharType = TAdsCharTypes::ANSI;
  bool AdsRightsCheck = true;
  uint16_t AdsIndexPageSize = 0;  // rewritten at every open
  TAdsRecordCacheTypes AdsRecordCache = TAdsRecordCacheTypes::rcStandard;
};

// Options of CreateIndexTag, in the order of the set.
enum class TIndexTagOption { Compound, Unique, Descending, Custom, Candidate };
class TIndexTagOptions {
 public:
  TIndexTagOptions() = default;
  TIndexTagOptions(std::initializer_list<TIndexTagOption> options) {
    for (TIndexTagOption option : options) bits_ |= 1u << static_cast<unsigned>(option);
  }
  bool Has(TIndexTagOption option) const { return (bits_ >> static_cast<unsigned>(option)) & 1u; }
  // The engine's option bits.
  uint32_t AceOptions() const;

 private:
  uint32_t bits_ = 0;
};

// Extra index files opened with the table: a sorted list (ignoring case), duplicates ignored.
class TAdsIndexFiles {
 public:
  void Add(const std::string& name);
  void Clear() { names_.clear(); }
  size_t Count() const { return names_.size(); }
  const std::vector<std::string>& Names() const { return names_; }

 private:
  std::vector<std::string> names_;
};

// ACE table type for a TableType: CDX 2, NTX 1, ADT and default 3.
uint16_t AceTableType(TAdsTableTypes type);

class TAdsTable : public TAdsDataSet {
 public:
  using NotifyEvent = std::function<void(TAdsTable&)>;

  static constexpr AceHandle kNoHandle = 0xFFFFFFFFu;
  static constexpr size_t kIndexFileLength = 260;
  static constexpr size_t kTagLength = 128;
  static constexpr size_t kExpressionLength = 510;

  explicit TAdsTable(std::string name = "", std::string owner_name = "");
  TAdsTable(const TAdsTable&) = delete;
  TAdsTable& operator=(const TAdsTable&) = delete;
  // Closes an open table (one AdsCloseTable, failures dropped, no events) and leaves the
  // connection's list.
  ~TAdsTable() override;

  // TAdsDataSet
  std::string Name() const override { return name_; }
  std::string OwnerName() const override { return owner_name_; }
  std::string DatabaseName() const override { return database_name_; }
  std::string TableName() const override { return table_name_; }
  std::string ResolveDatabasePath() override;
  void SetActive(bool active) override;
  void DetachConnection() override;
  void ApplyAliasTableType(uint8_t alias_table_type) override;
  void RefreshDefaultIndex() override;

  bool Active() const { return active_; }
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  void SetTableName(const std::string& name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only);
  TAdsTableTypes TableType() const { return table_type_; }
  void SetTableType(TAdsTableTypes type);
  TIndexCollationMismatchOptions IndexCollationMismatch() const { return collation_; }
  void SetIndexCollationMismatch(TIndexCollationMismatchOptions option);
  TAdsIndexFiles& IndexFiles() { return index_files_; }
  const std::string& EncryptionPassword() const { return encryption_password_; }
  void SetEncryptionPassword(const std::string& password) { encryption_password_ = password; }
  TAdsConnection* AdsConnection() const { return connection_; }
  void SetAdsConnection(TAdsConnection* connection);
  void SetDatabaseName(const std::string& name);
  bool StoreActive() const { return store_active_; }
  void SetStoreActive(bool store) { store_active_ = store; }
  const std::string& IndexName() const { return index_name_; }
  void SetIndexName(const std::string& name) { index_name_ = name; }

  const TAdsTableOptions& AdsTableOptions() const { return options_; }
  void SetAdsLockType(TAdsLockTypes type);
  void SetAdsCharType(TAdsCharTypes type);
  void SetAdsRightsCheck(bool check);
  void SetAdsIndexPageSize(uint16_t size) { options_.AdsIndexPageSize = size; }
  void SetAdsRecordCache(TAdsRecordCacheTypes cache) { options_.AdsRecordCache = cache; }

  // Where aliases named by DatabaseName are looked up (DefaultAliasLookup unless replaced).
  void SetAliasLookup(AliasLookup& lookup) { aliases_ = &lookup; }

  // Loading from a stored description: a TableName set meanwhile keeps IndexFiles.
  void BeginLoading() { loading_ = true; }
  void EndLoading() { loading_ = false; }

  // Creates one index tag on the open table. Texts longer than their fields (260, 128, 510)
  // are cut. A result of 5068 counts as success.
  void CreateIndexTag(const std::string& file_name, const std::string& tag,
                      const std::string& expression, const std::string& condition,
                      const std::string& while_condition, TIndexTagOptions options);
  // Removes the deleted records of the open table; nothing on a closed table.
  void PackDeletedRecords();

  // Run-time facts.
  AceHandle TableHandle() const { return table_handle_; }
  AceHandle ActiveOrderHandle() const { return order_handle_; }
  bool CanModify() const { return can_modify_; }
  uint32_t RecordLength() const { return record_length_; }
  uint32_t OpenOptions() const { return open_options_; }
  uint16_t EngineTableType() const { return engine_table_type_; }
  bool DefinitionsCurrent() const { return definitions_current_; }
  bool HasRecord() const { return has_record_; }
  size_t FieldCount() const { return field_names_.size(); }
  const std::vector<std::string>& FieldNames() const { return field_names_; }
  const std::vector<std::string>& IndexNames() const { return index_names_; }

  NotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, AfterScroll;

 private:
  ClientEngine& Engine() const;
  void Check(AceResult result);
  [[noreturn]] void Fail(const std::string& text);
  void RefuseWhileOpen(const char* text);
  void DoOpen();
  void DoClose(bool fire_events);
  AceHandle OpenTableHandle();
  void ReadBackAfterOpen();
  void ReadFieldDefinitions();
  void ReadIndexDefinitions();
  enum class CursorRecord { kRead, kHidden, kOutside };
  bool FillRecordWindow(int32_t step);
  CursorRecord ReadCurrentRecord();
  void CloseCursor();
  void PropertyChanged() { definitions_current_ = false; }

  std::string name_;
  std::string owner_name_;
  TAdsConnection* connection_ = nullptr;
  AliasLookup* aliases_;
  bool active_ = false;
  bool loading_ = false;
  bool destroying_ = false;

  std::string table_name_;
  bool exclusive_ = false;
  bool read_only_ = false;
  TAdsTableTypes table_type_ = TAdsTableTypes::ttAdsADT;
  uint16_t ace_table_type_ = 3;
  TIndexCollationMismatchOptions collation_ = TIndexCollationMismatchOptions::icmError;
  TAdsIndexFiles index_files_;
  std::string encryption_password_;
  std::string database_name_;
  std::string alias_path_;  // the alias path found for DatabaseName
  bool store_active_ = true;
  std::string index_name_;
  std::string default_index_;
  TAdsTableOptions options_;

  AceHandle order_handle_ = kNoHandle;
  bool can_modify_ = false;
  AceHandle table_handle_ = kNoHandle;
  bool definitions_current_ = false;
  uint32_t record_length_ = 0;
  uint32_t open_options_ = 0;
  uint16_t engine_table_type_ = 0;
  uint32_t bookmark_length_ = 0;
  std::vector<std::vector<char>> blank_records_;
  std::vector<std::string> field_names_;
  std::vector<std::string> index_names_;
  std::vector<char> record_;
  std::vector<char> bookmark_;
  bool has_record_ = false;
};

}  // namespace kx::db
