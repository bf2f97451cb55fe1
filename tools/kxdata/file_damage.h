// Deliberate damage to a file, for tests of the code that must detect or survive it.
#pragma once

#include <cstdint>
#include <string>

namespace kx::kxdata {

// Cuts `path` to `size` bytes. Throws ToolError when the file is missing or shorter.
void TruncateFile(const std::string& path, std::uint64_t size);

// Exclusive-ors the byte at `offset` with `mask` (not 0) and returns the byte's old value.
// Throws ToolError when the file is missing or the offset lies beyond its end.
std::uint8_t FlipByte(const std::string& path, std::uint64_t offset, std::uint8_t mask);

}  // namespace kx::kxdata
