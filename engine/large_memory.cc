#include "engine/large_memory.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "engine/platform.h"

namespace kx::engine {
namespace {

constexpr size_t kGranule = size_t(2) << 20;  // blocks are whole huge pages where there are any

struct Kept {
  std::mutex mutex;
  std::vector<std::pair<char*, size_t>> blocks;
};

Kept& KeptBlocks() {
  static Kept* kept = new Kept;  // never destroyed: blocks may come back during exit
  return *kept;
}

}  // namespace

LargeBlock LargeBlock::Take(size_t bytes) {
  if (bytes == 0) return LargeBlock();
  Kept& kept = KeptBlocks();
  {
    std::lock_guard<std::mutex> lock(kept.mutex);
    auto best = kept.blocks.end();
    for (auto it = kept.blocks.begin(); it != kept.blocks.end(); ++it) {
      if (it->second >= bytes && (best == kept.blocks.end() || it->second < best->second))
        best = it;
    }
    if (best != kept.blocks.end()) {
      LargeBlock block(best->first, best->second);
      kept.blocks.erase(best);
      return block;
    }
    for (auto& [data, size] : kept.blocks) PlatformFreeLarge(data, size);
    kept.blocks.clear();
  }
  const size_t size = (bytes + kGranule - 1) / kGranule * kGranule;
  char* data = static_cast<char*>(PlatformAllocateLarge(size));
  if (data == nullptr) throw std::bad_alloc();
  return LargeBlock(data, size);
}

LargeBlock::~LargeBlock() {
  if (data_ == nullptr) return;
  Kept& kept = KeptBlocks();
  std::lock_guard<std::mutex> lock(kept.mutex);
  kept.blocks.emplace_back(data_, size_);
}

LargeBlock::LargeBlock(LargeBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

LargeBlock& LargeBlock::operator=(LargeBlock&& other) noexcept {
  if (this != &other) {
    LargeBlock old(std::move(*this));
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

}  // namespace kx::engine
