#include "bench/raw_reference.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "engine/format.h"
#include "engine/table_file.h"

namespace kx::bench {

namespace {

using Clock = std::chrono::steady_clock;

class Fd {
 public:
  Fd(const std::string& path, int flags) : fd_(::open(path.c_str(), flags, 0644)) {
    if (fd_ < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  }
  ~Fd() { ::close(fd_); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

void WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t done = ::write(fd, data, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("write failed: ") + std::strerror(errno));
    }
    data += done;
    n -= static_cast<size_t>(done);
  }
}

size_t ReadSome(int fd, char* data, size_t n) {
  size_t total = 0;
  while (total < n) {
    const ssize_t done = ::read(fd, data + total, n - total);
    if (done < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("read failed: ") + std::strerror(errno));
    }
    if (done == 0) break;
    total += static_cast<size_t>(done);
  }
  return total;
}

uint32_t U32At(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}

struct TableLayout {
  uint32_t header_size = 0;
  uint32_t record_length = 0;
  uint32_t record_count = 0;
};

// Reads the table's header from `fd` (left positioned after it) into `header`.
TableLayout ReadLayout(int fd, std::string* header) {
  char fixed[64];
  if (ReadSome(fd, fixed, sizeof fixed) != sizeof fixed) throw std::runtime_error("short table");
  TableLayout layout{U32At(fixed + 12), U32At(fixed + 16), U32At(fixed + 20)};
  if (layout.header_size < sizeof fixed || layout.record_length == 0) {
    throw std::runtime_error("not a table file");
  }
  header->assign(fixed, sizeof fixed);
  header->resize(layout.header_size);
  const size_t rest = layout.header_size - sizeof fixed;
  if (ReadSome(fd, header->data() + sizeof fixed, rest) != rest) {
    throw std::runtime_error("short table header");
  }
  return layout;
}

// Calls `fn(recno, image)` for every record, reading large blocks.
void ForEachRecord(int fd, const TableLayout& layout,
                   const std::function<void(uint32_t, const char*)>& fn) {
  const size_t per_block = std::max<size_t>(1, (4u << 20) / layout.record_length);
  std::vector<char> block(per_block * layout.record_length);
  uint32_t recno = 0;
  while (recno < layout.record_count) {
    const size_t want = std::min<size_t>(per_block, layout.record_count - recno);
    const size_t got = ReadSome(fd, block.data(), want * layout.record_length);
    const size_t whole = got / layout.record_length;
    for (size_t i = 0; i < whole; ++i) fn(++recno, block.data() + i * layout.record_length);
    if (whole < want) break;
  }
}

// Writes through a 1 MiB buffer.
class SequentialWriter {
 public:
  explicit SequentialWriter(int fd) : fd_(fd) { buffer_.reserve(1 << 20); }
  void Write(const char* data, size_t n) {
    if (buffer_.size() + n > buffer_.capacity()) Flush();
    if (n >= buffer_.capacity()) {
      WriteAll(fd_, data, n);
    } else {
      buffer_.insert(buffer_.end(), data, data + n);
    }
    written_ += n;
  }
  void Flush() {
    WriteAll(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  uint64_t Written() const { return written_; }

 private:
  int fd_;
  std::vector<char> buffer_;
  uint64_t written_ = 0;
};

void FlushToDisk(int fd) {
  if (::fsync(fd) != 0) throw std::runtime_error(std::string("fsync: ") + std::strerror(errno));
}

}  // namespace

RawResult RawTagBuild(const std::string& table_path, const std::string& expression,
                      const std::string& out_path) {
  std::vector<engine::Field> fields;
  {
    auto table = engine::TableFile::Open(table_path, engine::OpenMode::kReadOnly);
    fields = table->Fields();
  }
  const engine::KeySpec key = engine::ParseExpression(fields, expression, table_path);
  const size_t width = key.width + 4;

  const auto start = Clock::now();
  Fd in(table_path, O_RDONLY);
  std::string header;
  const TableLayout layout = ReadLayout(in.get(), &header);
  std::vector<char> entries;
  entries.reserve(size_t(layout.record_count) * width);
  ForEachRecord(in.get(), layout, [&](uint32_t recno, const char* image) {
    if (image[0] != ' ') return;
    const size_t at = entries.size();
    entries.resize(at + width);
    engine::ExtractKey(key, image, entries.data() + at);
    for (int i = 0; i < 4; ++i)
      entries[at + key.width + i] = static_cast<char>(recno >> (24 - 8 * i));
  });
  const size_t count = entries.size() / width;
  std::vector<uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0u);
  const char* base = entries.data();
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return std::memcmp(base + size_t(a) * width, base + size_t(b) * width, width) < 0;
  });

  Fd out(out_path, O_WRONLY | O_CREAT | O_TRUNC);
  SequentialWriter writer(out.get());
  for (uint32_t i : order) writer.Write(base + size_t(i) * width, width);
  writer.Flush();
  FlushToDisk(out.get());
  return {std::chrono::duration<double>(Clock::now() - start).count(), count, writer.Written()};
}

RawResult RawLiveCopy(const std::string& table_path, const std::string& out_path) {
  const auto start = Clock::now();
  Fd in(table_path, O_RDONLY);
  std::string header;
  const TableLayout layout = ReadLayout(in.get(), &header);
  Fd out(out_path, O_WRONLY | O_CREAT | O_TRUNC);
  SequentialWriter writer(out.get());
  writer.Write(header.data(), header.size());
  uint64_t live = 0;
  ForEachRecord(in.get(), layout, [&](uint32_t, const char* image) {
    if (image[0] != ' ') return;
    writer.Write(image, layout.record_length);
    ++live;
  });
  writer.Flush();
  FlushToDisk(out.get());
  return {std::chrono::duration<double>(Clock::now() - start).count(), live, writer.Written()};
}

}  // namespace kx::bench
