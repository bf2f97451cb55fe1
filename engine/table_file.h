// The engine's C++ interface to one table (.adt) and its index file (.adi).
//
// A TableFile is an open table: it holds the operating-system lock that makes the open shared
// or exclusive for as long as the object lives. The index file is never kept open: each call
// that needs it opens, reads or replaces it and closes it again, so the index file of an open
// table can be deleted by another program. The formats are described in engine/FORMAT.md.
//
// Records are numbered from 1 in file order. Values are passed as text:
//   character  any text up to the field length (padded with blanks)
//   numeric    a decimal number such as "-12.50" (stored as right-aligned text)
//   integer    a whole number in the signed 32-bit range
//   double     a decimal or scientific number
//   date       "YYYY-MM-DD", or "" for an empty date
//   logical    "T"/"F" (also "Y"/"N", "true"/"false", "1"/"0"), or "" for unknown
//   timestamp  "YYYY-MM-DD HH:MM:SS" with optional ".mmm", or ""
// Failures throw EngineError (engine/error_codes.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error_codes.h"
#include "engine/value_types.h"

namespace kx::engine {

enum class OpenMode {
  kShared,     // others may open it shared too; no exclusive open while this one lasts
  kExclusive,  // no other open, shared or exclusive, while this one lasts
  kReadOnly,   // shared, and no change through this object
};

// Memory that index creation may use for sorting keys before it spills sorted runs to
// temporary files beside the table and merges them. 64 MiB unless set, or unless the
// environment variable KX_SORT_BUDGET_MIB gives another number of MiB; process-wide.
void SetSortBudget(size_t bytes);
size_t SortBudget();

class TableFile {
 public:
  // Creates a new table file (refused when the path exists) and opens it exclusively.
  static std::unique_ptr<TableFile> Create(const std::string& path,
                                           const std::vector<FieldDef>& fields);
  // Opens an existing table. A pack that was interrupted is completed first (this needs a
  // moment of exclusive access). A damaged index file never stops an open.
  static std::unique_ptr<TableFile> Open(const std::string& path, OpenMode mode);

  ~TableFile();
  TableFile(const TableFile&) = delete;
  TableFile& operator=(const TableFile&) = delete;

  const std::string& Path() const;
  // The index file: same folder and base name as the table, extension .adi.
  std::string IndexPath() const;
  OpenMode Mode() const;

  const std::vector<Field>& Fields() const;
  // Index of the field with this name (case ignored), or -1.
  int FindField(std::string_view name) const;
  uint32_t RecordLength() const;
  // Records in the file, deleted ones included.
  uint32_t RecordCount() const;
  // The size of the table file in bytes.
  uint64_t FileSize() const;

  // A record image with every field blank (character and numeric blanks, zero numbers,
  // empty dates, unknown logicals), not deleted.
  std::string BlankRecord() const;
  // Builds a record image from text values in field order (fewer values leave the rest blank).
  // `out` must hold RecordLength() bytes.
  void FormatRecord(const std::vector<std::string_view>& values, char* out) const;
  // The text form of one field of a record image.
  std::string FieldText(const char* record, size_t field) const;

  // Appends one record from text values; returns its number.
  uint32_t AppendRecord(const std::vector<std::string>& values);
  // Appends `count` record images made with FormatRecord, in one write.
  void AppendRecordImages(const char* images, size_t count);
  void DeleteRecord(uint32_t recno);
  // Reads one record image (RecordLength() bytes, deleted mark first).
  void ReadRecord(uint32_t recno, std::string* image) const;
  bool IsDeleted(uint32_t recno) const;
  // The text values of one record, in field order.
  std::vector<std::string> RecordValues(uint32_t recno) const;
  // Calls `fn` for every record in file order, reading in large blocks; stops when fn
  // returns false.
  void ForEachRecord(
      const std::function<bool(uint32_t recno, bool deleted, const char* image)>& fn) const;

  // The tags of the index file, in file order; empty when there is no index file. Throws
  // kErrIndexDamaged when the index file's header cannot be read.
  std::vector<TagInfo> Tags() const;
  // Calls `fn` with every entry of the tag in key order: the key bytes (TagInfo::key_width of
  // them) and the record number. Throws kErrTagNotFound or kErrIndexDamaged.
  void ForEachTagEntry(const std::string& tag,
                       const std::function<void(const char* key, uint32_t recno)>& fn) const;
  // Builds the key of one record image for a key expression (field names joined by ";").
  std::string KeyOf(const std::string& expression, const char* image) const;

  // Builds a tag from the live records: replaces a tag of the same name (case ignored),
  // creates the index file when absent, replaces the index file atomically. Page size 0
  // means kDefaultPageSize. Needs a writable open.
  TagInfo CreateIndex(const std::string& tag, const std::string& expression,
                      uint32_t page_size = 0);
  // Removes the deleted records and rebuilds every tag of the index file from the packed
  // records. Needs an exclusive open. Crash safe: see FORMAT.md.
  void Pack();

 private:
  struct Impl;
  explicit TableFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace kx::engine
