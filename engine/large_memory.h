// Large blocks of memory that are kept for reuse. On some machines the first touch of fresh
// memory costs far more than using it (milliseconds per megabyte), so the blocks of one sort
// are handed to the next instead of going back to the system. Internal to the engine.
#pragma once

#include <cstddef>

namespace kx::engine {

class LargeBlock {
 public:
  LargeBlock() = default;
  // A block of at least `bytes` bytes (contents undefined): a kept block when one is large
  // enough, else a new one. Kept blocks too small for it are given back to the system first,
  // so that kept memory never adds up beyond what the largest use needed.
  static LargeBlock Take(size_t bytes);
  ~LargeBlock();  // keeps the block for the next Take
  LargeBlock(LargeBlock&& other) noexcept;
  LargeBlock& operator=(LargeBlock&& other) noexcept;
  LargeBlock(const LargeBlock&) = delete;
  LargeBlock& operator=(const LargeBlock&) = delete;

  char* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  LargeBlock(char* data, size_t size) : data_(data), size_(size) {}
  char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace kx::engine
