#include "tools/kxdata/file_damage.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "tools/kxdata/kxdata.h"

namespace kx::kxdata {

namespace fs = std::filesystem;

namespace {

std::uint64_t SizeOf(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw ToolError("no such file: " + path);
  std::uint64_t size = fs::file_size(path, ec);
  if (ec) throw ToolError("cannot read the size of " + path + ": " + ec.message());
  return size;
}

}  // namespace

void TruncateFile(const std::string& path, std::uint64_t size) {
  std::uint64_t old_size = SizeOf(path);
  if (size > old_size) {
    throw ToolError(path + " has " + std::to_string(old_size) + " bytes, fewer than " +
                    std::to_string(size));
  }
  std::error_code ec;
  fs::resize_file(path, size, ec);
  if (ec) throw ToolError("cannot truncate " + path + ": " + ec.message());
}

std::uint8_t FlipByte(const std::string& path, std::uint64_t offset, std::uint8_t mask) {
  if (mask == 0) throw ToolError("a mask of 0 changes nothing");
  std::uint64_t size = SizeOf(path);
  if (offset >= size) {
    throw ToolError("offset " + std::to_string(offset) + " is beyond the end of " + path + " (" +
                    std::to_string(size) + " bytes)");
  }
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  if (!file) throw ToolError("cannot open " + path + " for writing");
  char byte = 0;
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(&byte, 1);
  const auto old_value = static_cast<std::uint8_t>(byte);
  byte = static_cast<char>(old_value ^ mask);
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(&byte, 1);
  file.flush();
  if (!file) throw ToolError("cannot write to " + path);
  return old_value;
}

}  // namespace kx::kxdata
