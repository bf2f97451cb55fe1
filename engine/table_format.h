// The layout of a table file (.adt): the fixed header, the field descriptors after it, and
// the records with their deleted mark. FORMAT.md describes the same in prose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/byte_coding.h"
#include "engine/value_types.h"

namespace kx::engine {

inline constexpr char kTableMagic[8] = {'K', 'X', 'T', 'A', 'B', 'L', 'E', '\x1a'};
inline constexpr uint32_t kTableVersion = 1;
inline constexpr size_t kTableFixedHeader = 64;
inline constexpr size_t kFieldDescriptorSize = 80;
// Byte offsets in the fixed header (the magic is at 0; bytes 26..27 and 32..63 are zero).
namespace table_header {
inline constexpr size_t kVersion = 8;
inline constexpr size_t kHeaderSize = 12;
inline constexpr size_t kRecordLength = 16;
inline constexpr size_t kRecordCount = 20;
inline constexpr size_t kFieldCount = 24;
inline constexpr size_t kChecksum = 28;  // CRC-32 of the whole header with these bytes zero
}  // namespace table_header
// Byte offsets in a field descriptor.
namespace field_descriptor {
inline constexpr size_t kName = 0;  // zero-padded
inline constexpr size_t kNameSize = 64;
inline constexpr size_t kType = 64;
inline constexpr size_t kDecimals = 66;
inline constexpr size_t kLength = 68;
inline constexpr size_t kOffset = 72;
}  // namespace field_descriptor

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
// `data` holds at least the fixed part; `size` is what was read (may be less than the full
// header for a truncated file). On success fills *header.
HeaderStatus DecodeTableHeader(const char* data, size_t size, TableHeader* header,
                               std::string* why);
// The header size that the fixed part announces (0 when the magic is wrong).
uint32_t AnnouncedHeaderSize(const char* fixed_part);

}  // namespace kx::engine
