// Large sequential writes and reads of a file through one buffer. Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/large_memory.h"
#include "engine/os_file.h"

namespace kx::engine {

// Gathers writes into large blocks written at increasing offsets.
class BufferedWriter {
 public:
  BufferedWriter(OsFile* file, uint64_t offset, size_t buffer_size = size_t(1) << 20);
  void Write(const void* data, size_t n) {
    if (used_ + n > buffer_.size()) {
      WriteLarge(data, n);
      return;
    }
    std::memcpy(buffer_.data() + used_, data, n);
    used_ += n;
  }
  // Room for `n` bytes (at most the buffer size) to be filled in place before the next call.
  char* Reserve(size_t n) {
    if (used_ + n > buffer_.size()) Flush();
    char* at = buffer_.data() + used_;
    used_ += n;
    return at;
  }
  void Flush();
  uint64_t Offset() const { return offset_ + used_; }
  // Starts the disk writing each block as soon as it is written, for a file that will be
  // flushed: the flush then waits for less.
  void WriteBehind() { write_behind_ = true; }

 private:
  void WriteLarge(const void* data, size_t n);
  OsFile* file_;
  uint64_t offset_;
  LargeBlock buffer_;
  size_t used_ = 0;
  bool write_behind_ = false;
};

}  // namespace kx::engine
