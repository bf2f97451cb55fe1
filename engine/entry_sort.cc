#include "engine/entry_sort.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <queue>
#include <random>

#include "engine/buffered_io.h"
#include "engine/error_codes.h"
#include "engine/format.h"

namespace kxengine {
namespace {

// One entry during the sort: packed key bits and either the entry's place in the buffer or,
// when the key bits say everything about the key, its record number.
#pragma pack(push, 4)
struct Item {
  uint64_t key;
  uint32_t ref;
};
#pragma pack(pop)
static_assert(sizeof(Item) == 12, "items are packed");

// Beyond this many differing key bytes the packing tables grow large for little gain: such
// keys (long texts) are sorted by comparing their bytes.
constexpr size_t kMaxPackedPositions = 2048;

inline uint64_t Load64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The bits in which keys differ from one another, and how to pack them into words that
// sort like the keys: constant bits are the same in every key, so leaving them out keeps
// the order.
class KeyBits {
 public:
  KeyBits(const char* data, size_t n, uint32_t width, uint32_t key_width) : key_width_(key_width) {
    // Differing bits: OR over the entries of each key XOR the first key, a word at a time.
    std::vector<uint64_t> diff((key_width + 7) / 8, 0);
    const size_t whole = key_width / 8;
    const size_t tail = key_width % 8;
    for (size_t i = 1; i < n; ++i) {
      const char* e = data + i * width;
      for (size_t w = 0; w < whole; ++w) diff[w] |= Load64(e + 8 * w) ^ Load64(data + 8 * w);
      for (size_t b = 0; b < tail; ++b) {
        uint64_t x = static_cast<uint8_t>(e[8 * whole + b] ^ data[8 * whole + b]);
        diff[whole] |= x << (8 * b);
      }
    }
    std::vector<uint8_t> mask(diff.size() * 8, 0);
    std::memcpy(mask.data(), diff.data(), diff.size() * 8);
    template_.assign(data, key_width);
    for (uint32_t j = 0; j < key_width; ++j) {
      if (mask[j] == 0) continue;
      template_[j] = static_cast<char>(static_cast<uint8_t>(template_[j]) & ~mask[j]);
      positions_.push_back({j, static_cast<uint8_t>(__builtin_popcount(mask[j])), mask[j]});
      total_bits_ += positions_.back().bits;
    }
    if (positions_.size() > kMaxPackedPositions) return;
    pack_.resize(positions_.size() * 256);
    unpack_.resize(positions_.size() * 256);
    for (size_t i = 0; i < positions_.size(); ++i) {
      const uint8_t m = positions_[i].mask;
      for (unsigned b = 0; b < 256; ++b) {
        // The masked bits of b gathered at the low end, in their order.
        unsigned packed = 0, out_bit = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
          if (m & (1u << bit)) packed |= ((b >> bit) & 1u) << out_bit++;
        }
        pack_[i * 256 + b] = static_cast<uint8_t>(packed);
        // And the reverse: packed bits spread over the masked places.
        unsigned spread = 0, in_bit = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
          if (m & (1u << bit)) spread |= ((b >> in_bit++) & 1u) << bit;
        }
        unpack_[i * 256 + b] = static_cast<uint8_t>(spread);
      }
    }
    // Where each 64-bit word of the packed bits begins.
    uint64_t before = 0;
    for (size_t i = 0; i < positions_.size(); ++i) {
      while (word_start_.size() * 64 < before + positions_[i].bits) {
        word_start_.push_back(
            {static_cast<uint32_t>(i), static_cast<uint8_t>(word_start_.size() * 64 - before)});
      }
      before += positions_[i].bits;
    }
  }

  bool Packable() const { return !pack_.empty() || positions_.empty(); }
  bool OneWord() const { return total_bits_ <= 64; }
  size_t Words() const { return word_start_.size(); }
  unsigned WordBits(size_t w) const {
    return static_cast<unsigned>(std::min<uint64_t>(64, total_bits_ - 64 * w));
  }

  // Bits [64w, 64w + 64) of the packed key, at the low end of the word.
  uint64_t Word(const char* key, size_t w) const {
    const unsigned want = WordBits(w);
    uint64_t v = 0;
    unsigned have = 0;
    size_t i = word_start_[w].first;
    unsigned skip = word_start_[w].second;
    for (; have < want; ++i) {
      const Position& p = positions_[i];
      uint64_t c = pack_[i * 256 + static_cast<uint8_t>(key[p.offset])];
      unsigned b = p.bits;
      if (skip != 0) {
        b -= skip;
        c &= (uint64_t(1) << b) - 1;
        skip = 0;
      }
      if (have + b > want) {
        const unsigned take = want - have;
        v = (v << take) | (c >> (b - take));
        have = want;
      } else {
        v = (v << b) | c;
        have += b;
      }
    }
    return v;
  }

  // The key whose packed bits are `word` (for keys that fit one word).
  void Rebuild(uint64_t word, char* out) const {
    std::memcpy(out, template_.data(), key_width_);
    for (size_t i = positions_.size(); i-- > 0;) {
      const Position& p = positions_[i];
      out[p.offset] = static_cast<char>(static_cast<uint8_t>(out[p.offset]) |
                                        unpack_[i * 256 + (word & ((1u << p.bits) - 1))]);
      word >>= p.bits;
    }
  }

 private:
  struct Position {
    uint32_t offset;
    uint8_t bits;
    uint8_t mask;
  };
  uint32_t key_width_;
  uint64_t total_bits_ = 0;
  std::vector<Position> positions_;  // key bytes that differ, in key order
  std::vector<uint8_t> pack_;        // per position: a byte's differing bits, packed
  std::vector<uint8_t> unpack_;      // per position: packed bits back in their places
  std::string template_;             // the key bytes with every differing bit cleared
  std::vector<std::pair<uint32_t, uint8_t>> word_start_;  // first position, bits to skip
};

// Stable least-significant-digit radix sort of the items by the low `bits` bits of their
// keys. Returns where the sorted items are: `a` or `tmp`.
Item* RadixSort(Item* a, Item* tmp, size_t n, unsigned bits) {
  if (bits == 0 || n < 2) return a;
  const unsigned digits = (bits + 10) / 11;
  const unsigned digit_bits = (bits + digits - 1) / digits;
  const uint64_t digit_mask = (uint64_t(1) << digit_bits) - 1;
  std::vector<uint32_t> counts(size_t(digits) << digit_bits, 0);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t k = a[i].key;
    for (unsigned d = 0; d < digits; ++d) {
      ++counts[(size_t(d) << digit_bits) + ((k >> (d * digit_bits)) & digit_mask)];
    }
  }
  Item* src = a;
  Item* dst = tmp;
  for (unsigned d = 0; d < digits; ++d) {
    uint32_t* c = counts.data() + (size_t(d) << digit_bits);
    const size_t buckets = size_t(1) << digit_bits;
    // A digit that is the same in every item changes nothing.
    bool single = false;
    for (size_t b = 0; b < buckets; ++b) {
      if (c[b] == n) single = true;
      if (c[b] != 0) break;
    }
    if (single) continue;
    uint32_t sum = 0;
    for (size_t b = 0; b < buckets; ++b) {
      const uint32_t count = c[b];
      c[b] = sum;
      sum += count;
    }
    const unsigned shift = d * digit_bits;
    for (size_t i = 0; i < n; ++i) dst[c[(src[i].key >> shift) & digit_mask]++] = src[i];
    std::swap(src, dst);
  }
  return src;
}

bool ItemLess(const Item& a, const Item& b) {
  return a.key < b.key || (a.key == b.key && a.ref < b.ref);
}

// Orders each run of equal keys by the next word of the packed key bits, and so on.
void Refine(Item* a, Item* tmp, size_t n, size_t word, const KeyBits& bits, const char* data,
            uint32_t width) {
  if (word >= bits.Words()) return;
  for (size_t start = 0; start < n;) {
    size_t end = start + 1;
    while (end < n && a[end].key == a[start].key) ++end;
    const size_t len = end - start;
    if (len > 1) {
      Item* run = a + start;
      for (size_t i = 0; i < len; ++i) {
        run[i].key = bits.Word(data + size_t(run[i].ref) * width, word);
      }
      if (len >= 4096) {
        Item* sorted = RadixSort(run, tmp + start, len, bits.WordBits(word));
        if (sorted != run) std::memcpy(run, sorted, len * sizeof(Item));
      } else {
        std::sort(run, run + len, ItemLess);
      }
      Refine(run, tmp + start, len, word + 1, bits, data, width);
    }
    start = end;
  }
}

std::unique_ptr<OsFile> OpenOrFail(const std::string& path, OsFile::Mode mode) {
  OpenResult result;
  std::string error;
  auto file = OsFile::Open(path, mode, LockKind::kNone, &result, &error);
  if (!file) Fail(kErrIo, "opening " + path + ": " + error);
  return file;
}

// Reads one sorted run back in blocks.
class RunReader {
 public:
  RunReader(const std::string& path, uint64_t entries, uint32_t width, size_t buffer_bytes)
      : file_(OpenOrFail(path, OsFile::Mode::kRead)),
        width_(width),
        left_(entries),
        buffer_(LargeBlock::Take(std::max<size_t>(width, buffer_bytes / width * width))),
        per_fill_(buffer_bytes / width == 0 ? 1 : buffer_bytes / width) {
    Refill();
  }
  const char* Current() const { return buffer_.data() + pos_; }
  bool Done() const { return pos_ >= filled_; }
  void Next() {
    pos_ += width_;
    if (pos_ >= filled_) Refill();
  }

 private:
  void Refill() {
    pos_ = 0;
    size_t want = static_cast<size_t>(std::min<uint64_t>(left_, per_fill_) * width_);
    filled_ = want == 0 ? 0 : file_->ReadAt(offset_, buffer_.data(), want);
    if (filled_ != want) Fail(kErrIo, "a read of the sort run " + file_->Path() + ": short read");
    offset_ += filled_;
    left_ -= filled_ / width_;
  }
  std::unique_ptr<OsFile> file_;
  uint32_t width_;
  uint64_t left_;
  LargeBlock buffer_;
  size_t per_fill_;
  uint64_t offset_ = 0;
  size_t pos_ = 0;
  size_t filled_ = 0;
};

size_t AlignUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

}  // namespace

size_t EntrySorter::BytesPerEntry(uint32_t width) { return width + 2 * sizeof(Item); }

EntrySorter::EntrySorter(uint32_t width, size_t budget, std::string temp_base, uint64_t expected)
    : width_(width), budget_(budget), temp_base_(std::move(temp_base)) {
  // Run files of sorters in other processes (verifications run side by side) must not
  // collide: a random token per sorter keeps the names apart.
  static std::atomic<uint32_t> counter{0};
  std::random_device random;
  char token[32];
  std::snprintf(token, sizeof token, ".%08x%04x", random(), counter++ & 0xFFFF);
  temp_base_ += token;
  max_entries_ = std::max<size_t>(64, budget / BytesPerEntry(width));
  if (expected > 0) Reserve(static_cast<size_t>(std::min<uint64_t>(expected, max_entries_)));
}

EntrySorter::~EntrySorter() {
  for (const std::string& run : runs_) RemoveFileIfPresent(run);
}

void EntrySorter::Reserve(size_t entries) {
  entries = std::max<size_t>(entries, 16);
  const size_t data_bytes = AlignUp(entries * width_, 8);
  LargeBlock block = LargeBlock::Take(data_bytes + 2 * entries * sizeof(Item));
  if (used_ > 0) std::memcpy(block.data(), data_, used_ * width_);
  memory_ = std::move(block);
  data_ = memory_.data();
  capacity_ = entries;
}

char* EntrySorter::Slot() {
  if (used_ == capacity_) {
    if (capacity_ < max_entries_) {
      Reserve(std::min(max_entries_, std::max<size_t>(1024, capacity_ * 2)));
    } else {
      Spill();
    }
  }
  ++count_;
  return data_ + (used_++) * width_;
}

void EntrySorter::SortBuffer(const std::function<void(const char*)>& sink) {
  const size_t n = used_;
  if (n == 0) return;
  const uint32_t key_width = width_ - 4;
  const size_t data_bytes = AlignUp(capacity_ * width_, 8);
  Item* items = reinterpret_cast<Item*>(memory_.data() + data_bytes);
  Item* tmp = items + capacity_;
  const KeyBits bits(data_, n, width_, key_width);

  if (!bits.Packable()) {
    // Very long differing keys: compared byte by byte; equal keys keep their order.
    for (size_t i = 0; i < n; ++i) items[i] = Item{0, static_cast<uint32_t>(i)};
    const char* data = data_;
    const uint32_t width = width_;
    std::stable_sort(items, items + n, [&](const Item& a, const Item& b) {
      return std::memcmp(data + size_t(a.ref) * width, data + size_t(b.ref) * width, key_width) < 0;
    });
    for (size_t i = 0; i < n; ++i) sink(data_ + size_t(items[i].ref) * width_);
    return;
  }

  if (bits.OneWord()) {
    // The packed bits are the whole key: sort them with the record numbers and rebuild the
    // entries from them, never reading the buffer again.
    for (size_t i = 0; i < n; ++i) {
      const char* e = data_ + i * width_;
      items[i] = Item{bits.Words() == 0 ? 0 : bits.Word(e, 0), GetBE32(e + key_width)};
    }
    const Item* sorted = RadixSort(items, tmp, n, bits.Words() == 0 ? 0 : bits.WordBits(0));
    // The buffer's first entry is free once the items hold everything: it serves as the
    // place where each entry is rebuilt.
    char* out = data_;
    for (size_t i = 0; i < n; ++i) {
      bits.Rebuild(sorted[i].key, out);
      PutBE32(out + key_width, sorted[i].ref);
      sink(out);
    }
    return;
  }

  for (size_t i = 0; i < n; ++i) {
    items[i] = Item{bits.Word(data_ + i * width_, 0), static_cast<uint32_t>(i)};
  }
  Item* sorted = RadixSort(items, tmp, n, bits.WordBits(0));
  Item* other = sorted == items ? tmp : items;
  Refine(sorted, other, n, 1, bits, data_, width_);
  constexpr size_t kAhead = 16;
  for (size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) __builtin_prefetch(data_ + size_t(sorted[i + kAhead].ref) * width_);
    sink(data_ + size_t(sorted[i].ref) * width_);
  }
}

void EntrySorter::Spill() {
  std::string path = temp_base_ + ".run" + std::to_string(runs_.size()) + ".tmp";
  runs_.push_back(path);
  auto file = OpenOrFail(path, OsFile::Mode::kTruncate);
  BufferedWriter out(file.get(), 0);
  const uint32_t width = width_;
  SortBuffer([&](const char* entry) { out.Write(entry, width); });
  out.Flush();
  run_sizes_.push_back(used_);
  used_ = 0;
}

void EntrySorter::Drain(const std::function<void(const char*)>& sink) {
  if (runs_.empty()) {
    SortBuffer(sink);
    return;
  }
  if (used_ > 0) Spill();
  // The memory of the last buffer is no longer needed; the readers share the budget.
  memory_ = LargeBlock();
  data_ = nullptr;
  capacity_ = 0;
  size_t per_reader = std::max<size_t>(64 << 10, budget_ / (runs_.size() + 1));
  std::vector<std::unique_ptr<RunReader>> readers;
  for (size_t i = 0; i < runs_.size(); ++i) {
    readers.push_back(std::make_unique<RunReader>(runs_[i], run_sizes_[i], width_, per_reader));
  }
  uint32_t w = width_;
  auto greater = [&](size_t a, size_t b) {
    return std::memcmp(readers[a]->Current(), readers[b]->Current(), w) > 0;
  };
  std::priority_queue<size_t, std::vector<size_t>, decltype(greater)> heap(greater);
  for (size_t i = 0; i < readers.size(); ++i) {
    if (!readers[i]->Done()) heap.push(i);
  }
  while (!heap.empty()) {
    size_t top = heap.top();
    heap.pop();
    sink(readers[top]->Current());
    readers[top]->Next();
    if (!readers[top]->Done()) heap.push(top);
  }
}

}  // namespace kxengine
