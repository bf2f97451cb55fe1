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
#include "engine/side_thread.h"

namespace kx::engine {
namespace {

// One entry during the sort: packed key bits in N words (the most significant first) and
// either the entry's place in the buffer or, when the words say everything about the key,
// its record number.
#pragma pack(push, 4)
template <int N>
struct Item {
  uint64_t key[N];
  uint32_t ref;
};
#pragma pack(pop)
static_assert(sizeof(Item<1>) == 12 && sizeof(Item<2>) == 20, "items are packed");

// Beyond this many differing key bytes the packing tables grow large for little gain: such
// keys (long texts) are sorted by comparing their bytes.
constexpr size_t kMaxPackedPositions = 2048;

inline uint64_t Load64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// 8 bytes as a number that orders like the bytes.
inline uint64_t ByteOrder(const char* p) { return __builtin_bswap64(Load64(p)); }

// OR over entries [begin, end) of each key XOR the first entry's key, a word at a time.
std::vector<uint64_t> DifferingBits(const char* data, size_t begin, size_t end, uint32_t width,
                                    uint32_t key_width) {
  std::vector<uint64_t> diff((key_width + 7) / 8, 0);
  const size_t whole = key_width / 8;
  const size_t tail = key_width % 8;
  for (size_t i = begin; i < end; ++i) {
    const char* e = data + i * width;
    for (size_t w = 0; w < whole; ++w) diff[w] |= Load64(e + 8 * w) ^ Load64(data + 8 * w);
    for (size_t b = 0; b < tail; ++b) {
      uint64_t x = static_cast<uint8_t>(e[8 * whole + b] ^ data[8 * whole + b]);
      diff[whole] |= x << (8 * b);
    }
  }
  return diff;
}

// For each of `offsets`, 256 flags: which byte values entries [begin, end) have there.
std::vector<uint8_t> ValuesSeen(const char* data, size_t begin, size_t end, uint32_t width,
                                const std::vector<uint32_t>& offsets) {
  std::vector<uint8_t> seen(offsets.size() * 256, 0);
  for (size_t i = begin; i < end; ++i) {
    const uint8_t* e = reinterpret_cast<const uint8_t*>(data + i * width);
    uint8_t* at = seen.data();
    for (uint32_t offset : offsets) {
      at[e[offset]] = 1;
      at += 256;
    }
  }
  return seen;
}

// The key bytes that differ between entries, and how to pack them into words that sort like
// the keys. A byte that is the same in every key is left out; a byte that differs is
// replaced by the rank of its value among the values it takes in these keys (in byte
// order), in as few bits as that number of values needs. Both keep the order. The bits of
// a key byte stay together in one word; each word is filled from its top, the bits below
// the last byte's are zero.
class KeyBits {
 public:
  // The two passes over the entries are split over `side` when there is one.
  KeyBits(const char* data, size_t n, uint32_t width, uint32_t key_width, SideThread* side)
      : key_width_(key_width) {
    // Bytes that differ: OR over the entries of each key XOR the first key.
    std::vector<uint64_t> diff[2];
    InTwoParts(side, n, [&](int part, size_t begin, size_t end) {
      diff[part] = DifferingBits(data, begin, end, width, key_width);
    });
    for (size_t w = 0; w < diff[1].size(); ++w) diff[0][w] |= diff[1][w];
    std::vector<uint8_t> mask(diff[0].size() * 8, 0);
    std::memcpy(mask.data(), diff[0].data(), diff[0].size() * 8);
    template_.assign(data, key_width);
    std::vector<uint32_t> offsets;
    for (uint32_t j = 0; j < key_width; ++j) {
      if (mask[j] != 0) offsets.push_back(j);
    }
    if (offsets.size() > kMaxPackedPositions) {
      positions_.resize(offsets.size());  // not packable
      return;
    }
    // The values each differing byte takes.
    std::vector<uint8_t> seen[2];
    InTwoParts(side, n, [&](int part, size_t begin, size_t end) {
      seen[part] = ValuesSeen(data, begin, end, width, offsets);
    });
    for (size_t i = 0; i < seen[1].size(); ++i) seen[0][i] |= seen[1][i];
    MakeTables(offsets, seen[0]);
  }

 private:
  // For each differing byte, the ranks of the values it takes; the words they pack into.
  void MakeTables(const std::vector<uint32_t>& offsets, const std::vector<uint8_t>& seen) {
    pack_.resize(offsets.size() * 256);
    unpack_.resize(offsets.size() * 256);
    unsigned room = 0;  // bits left in the last word
    for (size_t i = 0; i < offsets.size(); ++i) {
      const uint32_t j = offsets[i];
      template_[j] = 0;
      unsigned values = 0;
      for (unsigned b = 0; b < 256; ++b) {
        if (seen[i * 256 + b] == 0) continue;
        pack_[i * 256 + b] = static_cast<uint8_t>(values);
        unpack_[i * 256 + values] = static_cast<uint8_t>(b);
        ++values;
      }
      unsigned bits = 1;
      while ((1u << bits) < values) ++bits;
      if (bits > room) {
        used_.push_back(0);
        word_first_.push_back(static_cast<uint32_t>(positions_.size()));
        room = 64;
      }
      room -= bits;
      used_.back() += bits;
      positions_.push_back({j, static_cast<uint32_t>(used_.size() - 1), static_cast<uint8_t>(bits),
                            static_cast<uint8_t>(room)});
    }
    word_first_.push_back(static_cast<uint32_t>(positions_.size()));
  }

 public:
  bool Packable() const { return positions_.size() <= kMaxPackedPositions; }
  size_t Words() const { return used_.size(); }
  // The bits in use at the top of word w.
  unsigned Used(size_t w) const { return used_[w]; }

  // Word w of the packed bits of a key.
  uint64_t Word(const char* key, size_t w) const {
    uint64_t v = 0;
    for (uint32_t i = word_first_[w]; i < word_first_[w + 1]; ++i) {
      const Position& p = positions_[i];
      v |= uint64_t(pack_[i * 256 + static_cast<uint8_t>(key[p.offset])]) << p.shift;
    }
    return v;
  }
  // The first N words (the key's words beyond them are zero).
  template <int N>
  void Words(const char* key, uint64_t* out) const {
    for (int w = 0; w < N; ++w) out[w] = 0;
    const uint8_t* pack = pack_.data();
    for (const Position& p : positions_) {
      out[p.word] |= uint64_t(pack[static_cast<uint8_t>(key[p.offset])]) << p.shift;
      pack += 256;
    }
  }

  // The key whose packed bits are `words` (all of them).
  void Rebuild(const uint64_t* words, char* out) const {
    std::memcpy(out, template_.data(), key_width_);
    const uint8_t* unpack = unpack_.data();
    for (const Position& p : positions_) {
      out[p.offset] = static_cast<char>(unpack[(words[p.word] >> p.shift) & ((1u << p.bits) - 1)]);
      unpack += 256;
    }
  }

 private:
  struct Position {
    uint32_t offset;  // in the key
    uint32_t word;
    uint8_t bits;
    uint8_t shift;  // of the packed bits within their word
  };
  uint32_t key_width_;
  std::vector<Position> positions_;   // key bytes that differ, in key order
  std::vector<unsigned> used_;        // bits in use in each word
  std::vector<uint32_t> word_first_;  // the first position of each word, then the count
  std::vector<uint8_t> pack_;         // per position: a byte's differing bits, packed
  std::vector<uint8_t> unpack_;       // per position: packed bits back in their places
  std::string template_;              // the key bytes with every differing bit cleared
};

// Stable least-significant-digit radix sort of the items by their key words, of which
// `used[w]` bits at the top of word w are in use. Returns where the sorted items are: `a` or
// `tmp`.
struct Digit {
  int word;
  unsigned shift;
  unsigned bits;
  size_t counts;  // where its counts begin
};

// The digits of a radix sort over `words` key words, the least significant first, each of at
// most 11 bits; *total receives the number of counts they need together.
std::vector<Digit> DigitsOf(const unsigned* used, int words, size_t* total) {
  std::vector<Digit> digits;
  *total = 0;
  for (int w = words - 1; w >= 0; --w) {
    if (used[w] == 0) continue;
    const unsigned count = (used[w] + 10) / 11;
    const unsigned each = (used[w] + count - 1) / count;
    for (unsigned low = 64 - used[w]; low < 64; low += each) {
      const unsigned bits = std::min(each, 64 - low);
      digits.push_back({w, low, bits, *total});
      *total += size_t(1) << bits;
    }
  }
  return digits;
}

template <int N>
Item<N>* RadixSort(Item<N>* a, Item<N>* tmp, size_t n, const unsigned* used) {
  size_t total = 0;
  const std::vector<Digit> digits = DigitsOf(used, N, &total);
  if (digits.empty() || n < 2) return a;
  std::vector<uint32_t> counts(total, 0);
  for (size_t i = 0; i < n; ++i) {
    for (const Digit& d : digits) {
      ++counts[d.counts + ((a[i].key[d.word] >> d.shift) & ((uint64_t(1) << d.bits) - 1))];
    }
  }
  Item<N>* src = a;
  Item<N>* dst = tmp;
  for (const Digit& d : digits) {
    uint32_t* c = counts.data() + d.counts;
    const size_t buckets = size_t(1) << d.bits;
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
    const uint64_t mask = (uint64_t(1) << d.bits) - 1;
    for (size_t i = 0; i < n; ++i) dst[c[(src[i].key[d.word] >> d.shift) & mask]++] = src[i];
    std::swap(src, dst);
  }
  return src;
}

// One-word items in two pieces: items [0, half) and [half, n), each piece one after another.
struct ItemHalves {
  Item<1>* piece[2];
  size_t half;
  const Item<1>& At(size_t i) const { return i < half ? piece[0][i] : piece[1][i - half]; }
};

// The radix sort of one-word items with each pass split over `side`, which must be running:
// each thread counts the digits of its half of the items, and then moves its half to places
// that keep the sort stable (the first half's items of a digit value before the second
// half's). The first pass moves the items to `first`, the second to `second`, and so on;
// `first` must not overlap the items, nor `second` `first`. Returns where the sorted items
// are.
ItemHalves RadixSortInTwoParts(ItemHalves items, Item<1>* first, Item<1>* second, size_t n,
                               unsigned used, SideThread* side) {
  size_t total = 0;
  const std::vector<Digit> digits = DigitsOf(&used, 1, &total);
  ItemHalves src = items;
  Item<1>* dst = first;
  std::vector<uint32_t> counts[2];
  for (const Digit& d : digits) {
    const size_t buckets = size_t(1) << d.bits;
    const uint64_t mask = (uint64_t(1) << d.bits) - 1;
    for (auto& c : counts) c.assign(buckets, 0);
    InTwoParts(side, n, [&](int part, size_t begin, size_t end) {
      uint32_t* c = counts[part].data();
      const Item<1>* from = src.piece[part];
      for (size_t i = 0; i < end - begin; ++i) ++c[(from[i].key[0] >> d.shift) & mask];
    });
    // A digit that is the same in every item changes nothing.
    size_t b = 0;
    while (counts[0][b] + counts[1][b] == 0) ++b;
    if (counts[0][b] + counts[1][b] == n) continue;
    uint32_t sum = 0;
    for (b = 0; b < buckets; ++b) {
      for (auto& c : counts) {
        const uint32_t count = c[b];
        c[b] = sum;
        sum += count;
      }
    }
    InTwoParts(side, n, [&](int part, size_t begin, size_t end) {
      uint32_t* c = counts[part].data();
      const Item<1>* from = src.piece[part];
      for (size_t i = 0; i < end - begin; ++i)
        dst[c[(from[i].key[0] >> d.shift) & mask]++] = from[i];
    });
    Item<1>* next = dst == first ? second : first;
    src = ItemHalves{{dst, dst + src.half}, src.half};
    dst = next;
  }
  return src;
}

bool ItemLess(const Item<1>& a, const Item<1>& b) {
  return a.key[0] < b.key[0] || (a.key[0] == b.key[0] && a.ref < b.ref);
}

// Orders each run of equal keys by the next word of the packed key bits, and so on.
void Refine(Item<1>* a, Item<1>* tmp, size_t n, size_t word, const KeyBits& bits, const char* data,
            uint32_t width) {
  if (word >= bits.Words()) return;
  for (size_t start = 0; start < n;) {
    size_t end = start + 1;
    while (end < n && a[end].key[0] == a[start].key[0]) ++end;
    const size_t len = end - start;
    if (len > 1) {
      Item<1>* run = a + start;
      for (size_t i = 0; i < len; ++i) {
        run[i].key[0] = bits.Word(data + size_t(run[i].ref) * width, word);
      }
      if (len >= 4096) {
        const unsigned used = bits.Used(word);
        Item<1>* sorted = RadixSort<1>(run, tmp + start, len, &used);
        if (sorted != run) std::memcpy(run, sorted, len * sizeof(Item<1>));
      } else {
        std::sort(run, run + len, ItemLess);
      }
      Refine(run, tmp + start, len, word + 1, bits, data, width);
    }
    start = end;
  }
}

size_t AlignUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

// The memory SortInWords<N> needs for n entries of `width` bytes: the items take the place of
// the entries, the radix sort's second array follows them (in the entries' room when it is
// free by then).
template <int N>
size_t InWordsBytes(size_t n, uint32_t width) {
  return std::max(n * width, 2 * n * sizeof(Item<N>));
}

// The items of entries [begin, end) made at `at`, front to back or back to front.
template <int N>
void MakeItems(const char* data, size_t begin, size_t end, uint32_t width, const KeyBits& bits,
               Item<N>* at, bool backwards) {
  auto make = [&](size_t i) {
    const char* e = data + i * width;
    uint64_t key[N];  // items are packed: their words may be out of alignment
    bits.Words<N>(e, key);
    Item<N> item;
    std::memcpy(item.key, key, sizeof key);
    item.ref = GetBE32(e + width - 4);
    at[i - begin] = item;
  };
  if (backwards) {
    for (size_t i = end; i-- > begin;) make(i);
  } else {
    for (size_t i = begin; i < end; ++i) make(i);
  }
}

// Sorts n entries whose keys fit N words: the items take the place of the entries in the
// buffer (front to back when an item is no larger than an entry, else back to front, so that
// no entry is overwritten before it is read), and the entries are rebuilt from them.
template <int N>
void SortInWords(char* data, size_t n, uint32_t width, const KeyBits& bits, EntryOut& out) {
  const uint32_t key_width = width - 4;
  Item<N>* items = reinterpret_cast<Item<N>*>(data);
  Item<N>* tmp = items + n;
  MakeItems<N>(data, 0, n, width, bits, items, sizeof(Item<N>) > width);
  unsigned used[N];
  for (int w = 0; w < N; ++w) used[w] = w < static_cast<int>(bits.Words()) ? bits.Used(w) : 0;
  const Item<N>* sorted = RadixSort<N>(items, tmp, n, used);
  for (size_t i = 0; i < n; ++i) {
    uint64_t key[N];
    std::memcpy(key, sorted[i].key, sizeof key);
    char* entry = out.NextEntry();
    bits.Rebuild(key, entry);
    PutBE32(entry + key_width, sorted[i].ref);
  }
}

// Sorts n entries (n worth two threads) whose differing key bits fit one word, each pass split
// over `side`, in no more memory than the single-thread sort: the items take the place of the
// entries. With entries of 24 bytes or more, the first half's items are made front to back
// at the start of the entries and the second half's back to front at their end, so that
// neither thread overwrites an entry before it is read, and the radix sort's arrays lie
// between and after them. Narrower entries are turned into items on this thread. The entries
// are made again from the sorted items as they are handed on.
void SortOneWordInTwoParts(char* data, size_t n, uint32_t width, const KeyBits& bits,
                           SideThread* side, EntryOut& out) {
  const size_t half = n / 2;
  const size_t entries_end = n * width;
  Item<1>* base = reinterpret_cast<Item<1>*>(data);
  ItemHalves items;
  Item<1>* first;
  Item<1>* second;
  // Room for both halves' items and the first array between them, with the second half's
  // items aligned down as items are.
  constexpr size_t kAlign = alignof(Item<1>);
  const size_t second_items = (n - half) * sizeof(Item<1>);
  const size_t pieces_end =
      entries_end < second_items ? 0 : (entries_end - second_items) / kAlign * kAlign;
  if (pieces_end >= (n + half) * sizeof(Item<1>)) {
    items = ItemHalves{{base, reinterpret_cast<Item<1>*>(data + pieces_end)}, half};
    InTwoParts(side, n, [&](int part, size_t begin, size_t end) {
      MakeItems<1>(data, begin, end, width, bits, items.piece[part], part == 1);
    });
    first = base + half;
    second = base + n + half;
  } else {
    // Front to back when an item is no larger than an entry, else back to front.
    MakeItems<1>(data, 0, n, width, bits, base, sizeof(Item<1>) > width);
    items = ItemHalves{{base, base + half}, half};
    first = base + n;
    second = base;
  }
  const unsigned used = bits.Words() == 0 ? 0 : bits.Used(0);
  const ItemHalves sorted = RadixSortInTwoParts(items, first, second, n, used, side);
  const uint32_t key_width = width - 4;
  out.MakeEntries(n, width, side, [&](size_t begin, size_t end, char* at) {
    for (size_t i = begin; i < end; ++i, at += width) {
      const Item<1>& item = sorted.At(i);
      const uint64_t key[1] = {item.key[0]};
      bits.Rebuild(key, at);
      PutBE32(at + key_width, item.ref);
    }
  });
}

// Reads one sorted run back in blocks, into memory the caller gives.
class RunReader {
 public:
  RunReader(const std::string& path, uint64_t entries, uint32_t width, char* buffer,
            size_t buffer_entries)
      : file_(OpenUnlocked(path, OsFile::Mode::kRead)),
        width_(width),
        left_(entries),
        buffer_(buffer),
        per_fill_(buffer_entries) {
    Refill();
  }
  const char* Current() const { return buffer_ + pos_; }
  // The first 8 bytes of the current entry as a number that orders like them.
  uint64_t Prefix() const { return prefix_; }
  bool Done() const { return pos_ >= filled_; }
  void Next() {
    pos_ += width_;
    if (pos_ >= filled_) Refill();
    SetPrefix();
  }

 private:
  void Refill() {
    pos_ = 0;
    size_t want = static_cast<size_t>(std::min<uint64_t>(left_, per_fill_) * width_);
    filled_ = want == 0 ? 0 : file_->ReadAt(offset_, buffer_, want);
    if (filled_ != want) Fail(kErrIo, "a read of the sort run " + file_->Path() + ": short read");
    offset_ += filled_;
    left_ -= filled_ / width_;
    SetPrefix();
  }
  void SetPrefix() {
    if (Done()) return;
    if (width_ >= 8) {
      prefix_ = ByteOrder(Current());
      return;
    }
    uint64_t v = 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(Current());
    for (uint32_t i = 0; i < 8; ++i) v = v << 8 | (i < width_ ? p[i] : 0);
    prefix_ = v;
  }
  std::unique_ptr<OsFile> file_;
  uint32_t width_;
  uint64_t left_;
  char* buffer_;
  size_t per_fill_;
  uint64_t offset_ = 0;
  size_t pos_ = 0;
  size_t filled_ = 0;
  uint64_t prefix_ = 0;
};

}  // namespace

size_t EntrySorter::BytesPerEntry(uint32_t width) { return width + 2 * sizeof(Item<1>); }

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
  LargeBlock block = LargeBlock::Take(data_bytes + 2 * entries * sizeof(Item<1>));
  if (used_ > 0) std::memcpy(block.data(), data_, used_ * width_);
  memory_ = std::move(block);
  data_ = memory_.data();
  capacity_ = entries;
}

void EntryOut::MakeEntries(size_t count, uint32_t width, SideThread*, const EntryMaker& make) {
  // A few entries at a time into a buffer of this call's own.
  constexpr size_t kAtOnce = 256;
  std::vector<char> made(kAtOnce * width);
  for (size_t first = 0; first < count; first += kAtOnce) {
    const size_t end = std::min(count, first + kAtOnce);
    make(first, end, made.data());
    for (size_t i = first; i < end; ++i) {
      std::memcpy(NextEntry(), made.data() + (i - first) * width, width);
    }
  }
}

char* EntrySorter::Slots(size_t count) {
  if (used_ + count > capacity_) {
    if (capacity_ < max_entries_) {
      Reserve(std::min(max_entries_, std::max({used_ + count, size_t(1024), capacity_ * 2})));
    }
    if (used_ + count > capacity_) Spill();
  }
  count_ += count;
  char* at = data_ + used_ * width_;
  used_ += count;
  return at;
}

void EntrySorter::SortBuffer(EntryOut& out) {
  const size_t n = used_;
  if (n == 0) return;
  const uint32_t key_width = width_ - 4;
  SideThread side(WorthTwoThreads(n));
  const KeyBits bits(data_, n, width_, key_width, &side);
  const size_t memory = memory_.size();

  if (bits.Packable() && bits.Words() <= 1) {
    if (side.Running()) {
      SortOneWordInTwoParts(data_, n, width_, bits, &side, out);
    } else {
      SortInWords<1>(data_, n, width_, bits, out);
    }
    return;
  }
  if (bits.Packable() && bits.Words() == 2 && InWordsBytes<2>(n, width_) <= memory) {
    SortInWords<2>(data_, n, width_, bits, out);
    return;
  }

  // Longer keys: the items hold the first word and the entry's place, and the entries stay
  // where they are for the refinement.
  Item<1>* items = reinterpret_cast<Item<1>*>(data_ + AlignUp(capacity_ * width_, 8));
  Item<1>* tmp = items + capacity_;
  if (!bits.Packable()) {
    // Very long differing keys: compared byte by byte; equal keys keep their order.
    for (size_t i = 0; i < n; ++i) items[i] = Item<1>{{0}, static_cast<uint32_t>(i)};
    const char* data = data_;
    const uint32_t width = width_;
    std::stable_sort(items, items + n, [&](const Item<1>& a, const Item<1>& b) {
      return std::memcmp(data + size_t(a.ref) * width, data + size_t(b.ref) * width, key_width) < 0;
    });
    for (size_t i = 0; i < n; ++i) {
      std::memcpy(out.NextEntry(), data_ + size_t(items[i].ref) * width_, width_);
    }
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    items[i] = Item<1>{{bits.Word(data_ + i * width_, 0)}, static_cast<uint32_t>(i)};
  }
  const unsigned used = bits.Used(0);
  Item<1>* sorted = RadixSort<1>(items, tmp, n, &used);
  Item<1>* other = sorted == items ? tmp : items;
  Refine(sorted, other, n, 1, bits, data_, width_);
  constexpr size_t kAhead = 16;
  for (size_t i = 0; i < n; ++i) {
    if (i + kAhead < n) __builtin_prefetch(data_ + size_t(sorted[i + kAhead].ref) * width_);
    std::memcpy(out.NextEntry(), data_ + size_t(sorted[i].ref) * width_, width_);
  }
}

void EntrySorter::Spill() {
  std::string path = temp_base_ + ".run" + std::to_string(runs_.size()) + ".tmp";
  runs_.push_back(path);
  auto file = OpenUnlocked(path, OsFile::Mode::kTruncate);
  BufferedWriter writer(file.get(), 0);
  struct ToRun : EntryOut {
    BufferedWriter* writer;
    uint32_t width;
    char* NextEntry() override { return writer->Reserve(width); }
  } out;
  out.writer = &writer;
  out.width = width_;
  SortBuffer(out);
  writer.Flush();
  run_sizes_.push_back(used_);
  used_ = 0;
}

void EntrySorter::Drain(const std::function<void(const char*)>& sink) {
  // Each entry is handed on once the next place is asked for, and the last one at the end.
  struct ToSink : EntryOut {
    const std::function<void(const char*)>* sink;
    std::vector<char> entry;
    bool filled = false;
    char* NextEntry() override {
      if (filled) (*sink)(entry.data());
      filled = true;
      return entry.data();
    }
  } out;
  out.sink = &sink;
  out.entry.resize(width_);
  Drain(out);
  if (out.filled) sink(out.entry.data());
}

void EntrySorter::Drain(EntryOut& out) {
  if (runs_.empty()) {
    SortBuffer(out);
    return;
  }
  if (used_ > 0) Spill();
  // The readers share the memory the buffer had.
  data_ = nullptr;
  capacity_ = 0;
  const size_t min_entries = 16;
  if (memory_.size() < runs_.size() * min_entries * width_) {
    memory_ = LargeBlock::Take(runs_.size() * min_entries * width_);
  }
  const size_t per_reader = memory_.size() / runs_.size() / width_;
  std::vector<std::unique_ptr<RunReader>> readers;
  for (size_t i = 0; i < runs_.size(); ++i) {
    readers.push_back(std::make_unique<RunReader>(
        runs_[i], run_sizes_[i], width_, memory_.data() + i * per_reader * width_, per_reader));
  }
  const uint32_t w = width_;
  auto greater = [&](size_t a, size_t b) {
    const uint64_t pa = readers[a]->Prefix(), pb = readers[b]->Prefix();
    if (pa != pb || w <= 8) return pa > pb;
    // Equal first bytes: the rest, 8 bytes at a time in the order memcmp takes them.
    const char* x = readers[a]->Current();
    const char* y = readers[b]->Current();
    uint32_t i = 8;
    for (; i + 8 <= w; i += 8) {
      const uint64_t u = ByteOrder(x + i), v = ByteOrder(y + i);
      if (u != v) return u > v;
    }
    return std::memcmp(x + i, y + i, w - i) > 0;
  };
  std::priority_queue<size_t, std::vector<size_t>, decltype(greater)> heap(greater);
  for (size_t i = 0; i < readers.size(); ++i) {
    if (!readers[i]->Done()) heap.push(i);
  }
  while (!heap.empty()) {
    size_t top = heap.top();
    heap.pop();
    std::memcpy(out.NextEntry(), readers[top]->Current(), w);
    readers[top]->Next();
    if (!readers[top]->Done()) heap.push(top);
  }
}

}  // namespace kx::engine
