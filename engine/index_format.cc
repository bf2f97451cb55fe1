#include "engine/index_format.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_coding.h"

namespace kx::engine {
namespace {

// The CRC-32 of `size` bytes with the four checksum bytes at `at` counted as zero.
uint32_t ChecksumWithout(const char* data, size_t size, size_t at) {
  static const char kZero[4] = {0, 0, 0, 0};
  uint32_t crc = Crc32(data, at);
  crc = Crc32(kZero, 4, crc);
  return Crc32(data + at + 4, size - at - 4, crc);
}

void EncodeTagDescriptor(const IndexTag& t, char* d) {
  namespace td = tag_descriptor;
  std::memcpy(d + td::kName, t.info.name.data(), std::min(t.info.name.size(), kTagNameField - 1));
  std::memcpy(d + td::kExpression, t.info.expression.data(),
              std::min(t.info.expression.size(), kTagExpressionField - 1));
  PutU32(d + td::kPageSize, t.info.page_size);
  PutU32(d + td::kKeyWidth, t.info.key_width);
  PutU32(d + td::kEntryCount, t.info.entry_count);
  PutU32(d + td::kPageCount, t.info.page_count);
  PutU64(d + td::kFirstPage, t.first_page);
}

IndexTag DecodeTagDescriptor(const char* d) {
  namespace td = tag_descriptor;
  IndexTag t;
  t.info.name.assign(d + td::kName, strnlen(d + td::kName, kTagNameField));
  t.info.expression.assign(d + td::kExpression, strnlen(d + td::kExpression, kTagExpressionField));
  t.info.page_size = GetU32(d + td::kPageSize);
  t.info.key_width = GetU32(d + td::kKeyWidth);
  t.info.entry_count = GetU32(d + td::kEntryCount);
  t.info.page_count = GetU32(d + td::kPageCount);
  t.first_page = GetU64(d + td::kFirstPage);
  return t;
}

// A tag's numbers agree with each other, and its pages begin at `first_page`.
bool TagIsValid(const IndexTag& t, uint64_t first_page) {
  uint32_t page_capacity = PageCapacity(t.info.page_size, t.info.key_width);
  return !t.info.name.empty() && t.info.page_size >= kMinPageSize &&
         t.info.page_size <= kMaxPageSize && page_capacity != 0 &&
         t.info.page_count == PagesFor(t.info.entry_count, page_capacity) &&
         t.first_page == first_page;
}

}  // namespace

uint64_t IndexHeader::DataEnd() const {
  return tags.empty() ? IndexDataStart(capacity)
                      : tags.back().first_page +
                            uint64_t(tags.back().info.page_count) * tags.back().info.page_size;
}

std::string EncodeIndexPreamble(uint32_t capacity) {
  std::string out(kIndexPreamble, '\0');
  char* p = out.data();
  std::memcpy(p, kIndexMagic, 8);
  PutU32(p + index_preamble::kVersion, kIndexVersion);
  PutU32(p + index_preamble::kCapacity, capacity);
  PutU32(p + index_preamble::kChecksum, Crc32(p, index_preamble::kChecksum));
  return out;
}

HeaderStatus DecodeIndexPreamble(const char* data, size_t size, uint32_t* capacity,
                                 std::string* why) {
  namespace ip = index_preamble;
  if (size < kIndexPreamble || std::memcmp(data, kIndexMagic, 8) != 0) {
    *why = "it does not begin with the index file mark";
    return HeaderStatus::kNotOurs;
  }
  if (GetU32(data + ip::kChecksum) != Crc32(data, ip::kChecksum)) {
    *why = "the checksum of its first bytes does not match";
    return HeaderStatus::kDamaged;
  }
  if (GetU32(data + ip::kVersion) != kIndexVersion) {
    *why =
        "its format version " + std::to_string(GetU32(data + ip::kVersion)) + " is not supported";
    return HeaderStatus::kDamaged;
  }
  *capacity = GetU32(data + ip::kCapacity);
  for (size_t i = ip::kReserved; i < ip::kChecksum; ++i) {
    if (data[i] != 0 || *capacity < 1 || *capacity > kMaxTagCapacity) {
      *why = "its first bytes are not valid";
      return HeaderStatus::kDamaged;
    }
  }
  return HeaderStatus::kOk;
}

std::string EncodeIndexSlot(IndexHeader* h) {
  std::string out(SlotSize(h->capacity), '\0');
  char* p = out.data();
  PutU64(p + index_slot::kGeneration, h->generation);
  PutU32(p + index_slot::kTagCount, static_cast<uint32_t>(h->tags.size()));
  PutU32(p + index_slot::kTableRecords, h->table_records);
  char* d = p + kSlotFixed;
  for (const IndexTag& t : h->tags) {
    EncodeTagDescriptor(t, d);
    d += kTagDescriptorSize;
  }
  h->checksum = Crc32(out.data(), out.size());
  PutU32(p + index_slot::kChecksum, h->checksum);
  return out;
}

SlotStatus DecodeIndexSlot(const char* data, uint32_t capacity, IndexHeader* h, std::string* why) {
  const size_t size = SlotSize(capacity);
  if (std::all_of(data, data + size, [](char c) { return c == 0; })) return SlotStatus::kEmpty;
  const uint32_t stored = GetU32(data + index_slot::kChecksum);
  if (ChecksumWithout(data, size, index_slot::kChecksum) != stored) {
    *why = "the header checksum does not match";
    return SlotStatus::kDamaged;
  }
  const uint64_t generation = GetU64(data + index_slot::kGeneration);
  const uint32_t count = GetU32(data + index_slot::kTagCount);
  if (generation == 0 || count > capacity) {
    *why = "the header's generation or tag count is not valid";
    return SlotStatus::kDamaged;
  }
  IndexHeader out;
  out.capacity = capacity;
  out.generation = generation;
  out.checksum = stored;
  out.table_records = GetU32(data + index_slot::kTableRecords);
  uint64_t next = IndexDataStart(capacity);
  for (uint32_t i = 0; i < count; ++i) {
    IndexTag t = DecodeTagDescriptor(data + kSlotFixed + size_t(i) * kTagDescriptorSize);
    if (!TagIsValid(t, next)) {
      *why = "the descriptor of tag " + std::to_string(i + 1) + " is not valid";
      return SlotStatus::kDamaged;
    }
    next += uint64_t(t.info.page_count) * t.info.page_size;
    out.tags.push_back(t);
  }
  *h = std::move(out);
  return SlotStatus::kSound;
}

void SealPage(char* page, uint32_t page_size, uint32_t tag_ordinal, uint32_t page_number,
              uint32_t entries) {
  PutU32(page + page_header::kMagic, kPageMagic);
  PutU32(page + page_header::kTag, tag_ordinal);
  PutU32(page + page_header::kPageNumber, page_number);
  PutU32(page + page_header::kEntries, entries);
  PutU32(page + page_header::kChecksum, 0);
  PutU32(page + page_header::kChecksum, Crc32(page, page_size));
}

std::string CheckPage(const char* page, uint32_t page_size, uint32_t tag_ordinal,
                      uint32_t page_number, uint32_t capacity, uint32_t* entries) {
  namespace ph = page_header;
  *entries = 0;
  if (ChecksumWithout(page, page_size, ph::kChecksum) != GetU32(page + ph::kChecksum)) {
    return "checksum mismatch";
  }
  if (GetU32(page + ph::kMagic) != kPageMagic) return "no page mark";
  const uint32_t tag = GetU32(page + ph::kTag), number = GetU32(page + ph::kPageNumber);
  if (tag != tag_ordinal || number != page_number) {
    return "the page belongs elsewhere (tag " + std::to_string(tag + 1) + ", page " +
           std::to_string(number + 1) + ")";
  }
  *entries = GetU32(page + ph::kEntries);
  if (*entries > capacity) return "more entries than a page holds";
  return std::string();
}

}  // namespace kx::engine
