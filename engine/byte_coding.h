// Byte coding of the engine's files: little-endian numbers in headers and records,
// big-endian ones in keys (so that keys order by memcmp), and the CRC-32 of headers and pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kx::engine {

uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

inline void PutU16(char* p, uint16_t v) {
  p[0] = static_cast<char>(v);
  p[1] = static_cast<char>(v >> 8);
}
inline void PutU32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}
inline void PutU64(char* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(v >> (8 * i));
}
inline uint16_t GetU16(const char* p) {
  return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}
inline uint32_t GetU32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}
inline uint64_t GetU64(const char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}
inline void PutBE32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (24 - 8 * i));
}
inline uint32_t GetBE32(const char* p) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}
inline void PutBE64(char* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(v >> (56 - 8 * i));
}

// What the decoding of a file's fixed header found.
enum class HeaderStatus { kOk, kNotOurs, kDamaged };

}  // namespace kx::engine
