#include "engine/entry_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/format.h"
#include "engine/test_util.h"

namespace kx::engine {
namespace {

// Keys of one shape: how wide, and which bytes differ between entries and how much.
struct KeyShape {
  const char* name;
  uint32_t key_width;
  // Makes the key of entry i (i from 0), `key_width` bytes.
  void (*make)(std::mt19937& random, uint32_t i, char* key);
};

void Code(std::mt19937& random, uint32_t, char* key) {
  // "ABC-123456" and blanks to 20 bytes: fits one word.
  std::memset(key, ' ', 20);
  for (int i = 0; i < 3; ++i) key[i] = static_cast<char>('A' + random() % 26);
  key[3] = '-';
  for (int i = 4; i < 10; ++i) key[i] = static_cast<char>('0' + random() % 10);
}

void CodeAndPlace(std::mt19937& random, uint32_t i, char* key) {
  // A code and a location name: two words.
  Code(random, i, key);
  std::memset(key + 20, ' ', 10);
  for (int j = 20; j < 26; ++j) key[j] = static_cast<char>('A' + random() % 26);
}

void Text(std::mt19937& random, uint32_t, char* key) {
  // 40 bytes of printable text: more than two words, refined by later words.
  for (int i = 0; i < 40; ++i) key[i] = static_cast<char>(' ' + random() % 90);
}

void FewValues(std::mt19937& random, uint32_t, char* key) {
  // Many equal keys that differ only late.
  std::memset(key, 'X', 24);
  key[23] = static_cast<char>('0' + random() % 3);
  key[5] = static_cast<char>(random() % 2 ? 0xFF : 0x00);
}

void AllEqual(std::mt19937&, uint32_t, char* key) { std::memset(key, 'Q', 12); }

void Number(std::mt19937& random, uint32_t, char* key) {
  // A 4-byte big-endian number: an item (12 bytes) is larger than the entry (8 bytes).
  PutBE32(key, static_cast<uint32_t>(random()));
}

void Flag(std::mt19937& random, uint32_t, char* key) {
  // One byte (a logical field): entries shorter than the 8 bytes merged runs compare first.
  key[0] = "TF "[random() % 3];
}

void Binary(std::mt19937& random, uint32_t, char* key) {
  // Every bit of 12 bytes may differ: two words, the second partly used.
  for (int i = 0; i < 12; ++i) key[i] = static_cast<char>(random());
}

void Wide(std::mt19937& random, uint32_t, char* key) {
  // 3000 differing bytes: beyond what is packed into words.
  for (int i = 0; i < 3000; ++i) key[i] = static_cast<char>('a' + random() % 2);
}

const KeyShape kShapes[] = {
    {"Code", 20, Code},         {"CodeAndPlace", 30, CodeAndPlace},
    {"Text", 40, Text},         {"FewValues", 24, FewValues},
    {"AllEqual", 12, AllEqual}, {"Number", 4, Number},
    {"Binary", 12, Binary},     {"Flag", 1, Flag},
    {"Wide", 3000, Wide},
};

struct SortCase {
  uint32_t entries;
  size_t budget;  // small budgets make the sorter spill runs and merge them
};

// From 16384 entries on, the sort's passes are split over two threads, also for the runs
// of a spilling sort.
const SortCase kSizes[] = {{0, 1 << 20},  {1, 1 << 20},    {2, 1 << 20},      {5000, 64 << 20},
                           {5000, 20000}, {6000, 1 << 20}, {70000, 64 << 20}, {200000, 8 << 20}};

// The entries of a shape in the order they are added, record numbers rising with gaps.
std::vector<std::string> MakeEntries(const KeyShape& shape, uint32_t count) {
  std::mt19937 random(count * 31 + shape.key_width);
  std::vector<std::string> entries;
  uint32_t recno = 0;
  for (uint32_t i = 0; i < count; ++i) {
    std::string entry(shape.key_width + 4, '\0');
    shape.make(random, i, entry.data());
    recno += 1 + random() % 3;
    PutBE32(entry.data() + shape.key_width, recno);
    entries.push_back(entry);
  }
  return entries;
}

TEST(EntrySorterTest, GivesMemcmpOrderForEveryKeyShape) {
  testing::ScratchDir dir;
  for (const KeyShape& shape : kShapes) {
    for (const SortCase& size : kSizes) {
      if (shape.key_width > 100 && size.budget < (1 << 20)) continue;  // one entry per run
      if (shape.key_width > 100 && size.entries > 10000) continue;     // too large to hold
      SCOPED_TRACE(std::string(shape.name) + ", " + std::to_string(size.entries) +
                   " entries, budget " + std::to_string(size.budget));
      const std::vector<std::string> entries = MakeEntries(shape, size.entries);
      const uint32_t width = shape.key_width + 4;
      std::vector<std::string> got;
      size_t runs = 0;
      {
        EntrySorter sorter(width, size.budget, dir.File("t"), size.entries / 2);
        for (const std::string& entry : entries) {
          std::memcpy(sorter.Slot(), entry.data(), width);
        }
        EXPECT_EQ(sorter.Count(), entries.size());
        sorter.Drain([&](const char* entry) { got.emplace_back(entry, width); });
        runs = sorter.RunCount();
      }
      std::vector<std::string> want = entries;
      std::sort(want.begin(), want.end());
      EXPECT_TRUE(got == want);
      if (size.budget < (1 << 20) && size.entries > 0) {
        EXPECT_GT(runs, 1u);
      }
      // The run files went with the sorter.
      EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    }
  }
}

}  // namespace
}  // namespace kx::engine
