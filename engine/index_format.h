// The layout of an index file (.adi): the preamble, two header slots that describe the tags
// (the one with the higher generation is current), and the tags' key pages.
// FORMAT.md describes the same in prose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/byte_coding.h"
#include "engine/value_types.h"

namespace kx::engine {

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

// Byte offsets in the preamble (the magic is at 0; bytes 16..27 are zero).
namespace index_preamble {
inline constexpr size_t kVersion = 8;
inline constexpr size_t kCapacity = 12;
inline constexpr size_t kReserved = 16;
inline constexpr size_t kChecksum = 28;  // CRC-32 of the bytes before it
}  // namespace index_preamble
// Byte offsets in a header slot; the tag descriptors follow at kSlotFixed.
namespace index_slot {
inline constexpr size_t kGeneration = 0;
inline constexpr size_t kTagCount = 8;
inline constexpr size_t kTableRecords = 12;
inline constexpr size_t kChecksum = 16;  // CRC-32 of the whole slot with these bytes zero
}  // namespace index_slot
// Byte offsets in a tag descriptor: the zero-padded name and expression, then the numbers.
namespace tag_descriptor {
inline constexpr size_t kName = 0;
inline constexpr size_t kExpression = kTagNameField;
inline constexpr size_t kPageSize = kTagNameField + kTagExpressionField;
inline constexpr size_t kKeyWidth = kPageSize + 4;
inline constexpr size_t kEntryCount = kPageSize + 8;
inline constexpr size_t kPageCount = kPageSize + 12;
inline constexpr size_t kFirstPage = kPageSize + 16;
}  // namespace tag_descriptor
// Byte offsets in a page header; the entries (key, then record number) follow it.
namespace page_header {
inline constexpr size_t kMagic = 0;
inline constexpr size_t kTag = 4;
inline constexpr size_t kPageNumber = 8;
inline constexpr size_t kEntries = 12;
inline constexpr size_t kChecksum = 16;  // CRC-32 of the whole page with these bytes zero
}  // namespace page_header

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

}  // namespace kx::engine
