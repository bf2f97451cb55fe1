#include "engine/buffered_io.h"

namespace kx::engine {

BufferedWriter::BufferedWriter(OsFile* file, uint64_t offset, size_t buffer_size)
    : file_(file), offset_(offset), buffer_(LargeBlock::Take(buffer_size)) {}

void BufferedWriter::WriteLarge(const void* data, size_t n) {
  Flush();
  if (n >= buffer_.size()) {
    file_->WriteAt(offset_, data, n);
    if (write_behind_) file_->StartWriteback(offset_, n);
    offset_ += n;
    return;
  }
  std::memcpy(buffer_.data(), data, n);
  used_ = n;
}

void BufferedWriter::Flush() {
  if (used_ == 0) return;
  file_->WriteAt(offset_, buffer_.data(), used_);
  if (write_behind_) file_->StartWriteback(offset_, used_);
  offset_ += used_;
  used_ = 0;
}

}  // namespace kx::engine
