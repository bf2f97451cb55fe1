// An output of an engine function whose width is not fixed: engine versions differ in how
// many bytes they write (a flag may be one byte in one version and four in another).
//
// The engine writes into a zeroed buffer wider than any engine writes, so a wider write
// cannot overwrite the program's memory; the value is read back from the leading bytes
// (little-endian, as on every platform the engine runs on), so it is the same whichever
// width was written, as long as it fits in T.
#pragma once

#include <cstdint>
#include <cstring>

namespace kx::db {

template <typename T>
class EngineOutput {
 public:
  static_assert(sizeof(T) <= sizeof(uint64_t), "an engine output is at most 64 bits");

  // The buffer to hand to the engine.
  T* Out() { return reinterpret_cast<T*>(bytes_); }
  T Value() const {
    T value;
    std::memcpy(&value, bytes_, sizeof value);
    return value;
  }

 private:
  alignas(uint64_t) unsigned char bytes_[2 * sizeof(uint64_t)] = {};
};

}  // namespace kx::db
