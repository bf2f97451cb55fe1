// CRC-32 (the polynomial 0xEDB88320, reflected, initial and final value 0xFFFFFFFF). Long
// buffers are folded 64 bytes at a time with carry-less multiplication where the processor
// has it; the rest goes through tables, 8 bytes at a time.
#include <cstddef>
#include <cstdint>

#include "engine/byte_coding.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KX_CRC_FOLDING 1
#endif

namespace kx::engine {
namespace {

struct CrcTable {
  uint32_t t[8][256];
  CrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
      for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
  }
};

const CrcTable& Table() {
  static const CrcTable table;
  return table;
}

// The register (not inverted) after `size` more bytes.
uint32_t TableCrc(uint32_t crc, const uint8_t* p, size_t size) {
  const CrcTable& tb = Table();
  while (size >= 8) {
    uint32_t lo =
        crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    crc = tb.t[7][lo & 0xFF] ^ tb.t[6][(lo >> 8) & 0xFF] ^ tb.t[5][(lo >> 16) & 0xFF] ^
          tb.t[4][lo >> 24] ^ tb.t[3][p[4]] ^ tb.t[2][p[5]] ^ tb.t[1][p[6]] ^ tb.t[0][p[7]];
    p += 8;
    size -= 8;
  }
  while (size--) crc = tb.t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return crc;
}

#ifdef KX_CRC_FOLDING
#define KX_FOLDING_TARGET __attribute__((target("pclmul,sse4.1")))

KX_FOLDING_TARGET inline __m128i Load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x times the two halves of k, added to the next 128 bits.
KX_FOLDING_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// Folds the buffer (a multiple of 16 bytes, at least 64) into 16 bytes whose CRC, started
// from 0, is the register the whole buffer gives from `crc`. Four lanes of 128 bits advance
// by 512 bits per round; then they are folded into one, 128 bits at a time.
KX_FOLDING_TARGET uint32_t FoldedCrc(uint32_t crc, const uint8_t* p, size_t size) {
  // x^(512+32) and x^(512-32) modulo the polynomial, then the same for 128 bits, in the
  // bit-reflected form these multiplications take.
  const __m128i k512 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
  const __m128i k128 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
  p += 64;
  size -= 64;
  while (size >= 64) {
    x0 = Fold(x0, k512, Load(p));
    x1 = Fold(x1, k512, Load(p + 16));
    x2 = Fold(x2, k512, Load(p + 32));
    x3 = Fold(x3, k512, Load(p + 48));
    p += 64;
    size -= 64;
  }
  x0 = Fold(x0, k128, x1);
  x0 = Fold(x0, k128, x2);
  x0 = Fold(x0, k128, x3);
  while (size >= 16) {
    x0 = Fold(x0, k128, Load(p));
    p += 16;
    size -= 16;
  }
  alignas(16) uint8_t rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), x0);
  return TableCrc(0, rest, 16);
}

bool HasFolding() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}
#endif

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  crc = ~crc;
#ifdef KX_CRC_FOLDING
  if (size >= 128 && HasFolding()) {
    const size_t folded = size & ~size_t(15);
    crc = FoldedCrc(crc, p, folded);
    p += folded;
    size -= folded;
  }
#endif
  return ~TableCrc(crc, p, size);
}

}  // namespace kx::engine
