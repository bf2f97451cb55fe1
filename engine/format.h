// The on-disk layouts of table (.adt), index (.adi) and pack journal files, and the field
// value encodings. Internal to the engine; FORMAT.md describes the same in prose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table_file.h"

namespace kxengine {

uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

inline void PutU16(char* p, uint16_t v) {
  p[0] = static_cast<char>(v);
  p[1] = static_cast<char>(v >> 8);
}
inline void PutU32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}
inline void PutU64(char* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(v >> (8 * i));
}
inline uint16_t GetU16(const char* p) {
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}
inline uint32_t GetU32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}
inline uint64_t GetU64(const char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}
inline void PutBE32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (24 - 8 * i));
}
inline uint32_t GetBE32(const char* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}

// ---- Table file ----
inline constexpr char kTableMagic[8] = {'K', 'X', 'T', 'A', 'B', 'L', 'E', '\x1a'};
inline constexpr uint32_t kTableVersion = 1;
inline constexpr size_t kTableFixedHeader = 64;
inline constexpr size_t kFieldDescriptorSize = 80;
inline constexpr char kLiveMark = ' ';
inline constexpr char kDeletedMark = '*';

struct TableHeader {
  uint32_t header_size = 0;
  uint32_t record_length = 0;
  uint32_t record_count = 0;
  std::vector<Field> fields;
};

// Lays out the fields (offsets, lengths) of a new table; throws kErrBadFieldList.
std::vector<Field> LayOutFields(const std::vector<FieldDef>& defs);
std::string EncodeTableHeader(const TableHeader& header);
enum class HeaderStatus { kOk, kNotOurs, kDamaged };
// `data` holds at least the fixed part; `size` is what was read (may be less than the full
// header for a truncated file). On success fills *header.
HeaderStatus DecodeTableHeader(const char* data, size_t size, TableHeader* header,
                               std::string* why);
// The header size that the fixed part announces (0 when the magic is wrong).
uint32_t AnnouncedHeaderSize(const char* fixed_part);

// ---- Field values ----
// The bytes a field takes in a record.
uint32_t StoredSize(FieldType type, uint32_t length);
void BlankValue(const Field& field, char* out);
// Throws EngineError(kErrBadValue) naming the field when the text does not fit.
void FormatValue(const Field& field, std::string_view text, char* out);
std::string ValueText(const Field& field, const char* in);
// Empty when the stored bytes are a valid value, else what is wrong with them.
std::string CheckValue(const Field& field, const char* in);
// Keys: fixed width per field, ordered by memcmp.
uint32_t KeyWidth(const Field& field);
void KeyImage(const Field& field, const char* in, char* out);

// ---- Key expressions ----
struct KeySpec {
  std::vector<const Field*> fields;
  uint32_t width = 0;
  // Where each field's key image goes, and whether it is the field's bytes as stored.
  struct Part {
    const Field* field;
    uint32_t width;
    bool copied;
  };
  std::vector<Part> parts;
};
// Field names joined by ";" (blanks around names ignored, case ignored). Throws
// kErrFieldNotFound naming an unknown field, kErrBadExpression for an empty part.
KeySpec ParseExpression(const std::vector<Field>& fields, const std::string& expression,
                        const std::string& table_path);
inline void ExtractKey(const KeySpec& layout, const char* record, char* out) {
  for (const KeySpec::Part& part : layout.parts) {
    const Field& f = *part.field;
    if (part.copied) {
      std::memcpy(out, record + f.offset, part.width);
    } else if (f.type == FieldType::kInteger || f.type == FieldType::kDate) {
      PutBE32(out, GetU32(record + f.offset) ^ 0x80000000u);
    } else {
      KeyImage(f, record + f.offset, out);
    }
    out += part.width;
  }
}

// ---- Index file ----
inline constexpr char kIndexMagic[8] = {'K', 'X', 'I', 'N', 'D', 'E', 'X', '\x1a'};
inline constexpr uint32_t kIndexVersion = 2;
inline constexpr size_t kIndexPreamble = 32;
inline constexpr size_t kSlotFixed = 64;
inline constexpr size_t kTagNameField = 128;
inline constexpr size_t kTagExpressionField = 512;
inline constexpr size_t kTagDescriptorSize = kTagNameField + kTagExpressionField + 32;
// Tags a header slot of a new index file holds at least; a file made for more tags gets
// room for twice as many.
inline constexpr uint32_t kMinTagCapacity = 8;
inline constexpr uint32_t kMaxTagCapacity = 100000;
inline constexpr uint32_t kPageMagic = 0x4750584B;  // "KXPG" read as little-endian bytes
inline constexpr size_t kPageHeader = 20;

struct IndexTag {
  TagInfo info;
  uint64_t first_page = 0;  // file offset of the tag's first page
};

// The header of an index file: the tags as its current header slot describes them, and
// where that slot lies.
struct IndexHeader {
  uint32_t table_records = 0;  // records in the table when the header was written
  std::vector<IndexTag> tags;
  uint32_t capacity = kMinTagCapacity;  // tags a header slot holds
  uint32_t slot = 0;                    // the slot (0 or 1) holding this header
  uint64_t generation = 1;              // rises by one with every header written to the file
  uint32_t checksum = 0;                // the slot's checksum: tells one header from another

  // Just past the last page: where the pages of a tag added to the file begin.
  uint64_t DataEnd() const;
};

inline uint64_t SlotSize(uint32_t capacity) {
  return kSlotFixed + uint64_t(capacity) * kTagDescriptorSize;
}
inline uint64_t SlotOffset(uint32_t capacity, uint32_t slot) {
  return kIndexPreamble + slot * SlotSize(capacity);
}
// Where the pages of the first tag begin.
inline uint64_t IndexDataStart(uint32_t capacity) { return SlotOffset(capacity, 2); }
// The slot capacity of a new index file for `tags` tags.
inline uint32_t TagCapacityFor(size_t tags) {
  return tags <= kMinTagCapacity / 2 ? kMinTagCapacity : static_cast<uint32_t>(tags * 2);
}

std::string EncodeIndexPreamble(uint32_t capacity);
// `data` holds `size` bytes from the start of the file; on success fills *capacity.
HeaderStatus DecodeIndexPreamble(const char* data, size_t size, uint32_t* capacity,
                                 std::string* why);
// A header slot (SlotSize(header.capacity) bytes) for the header's generation and tags;
// sets header->checksum.
std::string EncodeIndexSlot(IndexHeader* header);
enum class SlotStatus { kSound, kEmpty, kDamaged };
// Decodes a slot of SlotSize(capacity) bytes; an empty slot is all zero bytes. On kSound
// fills *header (slot number aside).
SlotStatus DecodeIndexSlot(const char* data, uint32_t capacity, IndexHeader* header,
                           std::string* why);
// Entries that fit in one page (0 when not even one does).
inline uint32_t PageCapacity(uint32_t page_size, uint32_t key_width) {
  return page_size < kPageHeader ? 0 : (page_size - kPageHeader) / (key_width + 4);
}
inline uint32_t PagesFor(uint32_t entries, uint32_t capacity) {
  return capacity == 0 ? 0 : (entries + capacity - 1) / capacity;
}
// Writes the page header (with its checksum) of a filled page; unused bytes must be zero.
void SealPage(char* page, uint32_t page_size, uint32_t tag_ordinal, uint32_t page_number,
              uint32_t entries);
// Empty when the page is sound, else what is wrong; *entries receives its entry count.
std::string CheckPage(const char* page, uint32_t page_size, uint32_t tag_ordinal,
                      uint32_t page_number, uint32_t capacity, uint32_t* entries);

// ---- Pack journal ----
inline constexpr char kJournalMagic[8] = {'K', 'X', 'J', 'O', 'U', 'R', 'N', '\x1a'};
enum class JournalIndexAction : uint32_t { kNone = 0, kReplace = 1, kRemove = 2 };

// Companion file names of a table path.
std::string IndexPathOf(const std::string& table_path);
inline std::string JournalPathOf(const std::string& table_path) { return table_path + ".jnl"; }
inline std::string PackedIndexPathOf(const std::string& table_path) {
  return IndexPathOf(table_path) + ".new";
}
inline std::string TempIndexPathOf(const std::string& table_path) {
  return IndexPathOf(table_path) + ".tmp";
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace kxengine
