// The engine's value types: field types and definitions, the fields of an open table, the
// description of a tag, and the limits on names and page sizes. Shared by the public table
// object and the on-disk layer below it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kx::engine {

// Field type numbers as the engine reports them (AdsGetFieldType).
enum class FieldType : uint16_t {
  kLogical = 1,
  kNumeric = 2,
  kDate = 3,
  kCharacter = 4,
  kDouble = 10,
  kInteger = 11,
  kTimestamp = 14,
};

// Longest field name, tag name and key expression, in characters.
inline constexpr size_t kMaxFieldName = 63;
inline constexpr size_t kMaxTagName = 127;
inline constexpr size_t kMaxExpression = 510;

// The page size used when a tag is created with page size 0, and the accepted range.
inline constexpr uint32_t kDefaultPageSize = 4096;
inline constexpr uint32_t kMinPageSize = 512;
inline constexpr uint32_t kMaxPageSize = 65536;

// "character", "numeric", ... as used in field lists and dumps.
const char* FieldTypeName(FieldType type);
// Accepts the names above and their first letters (C, N, I, B for double, D, L, T), any case.
bool ParseFieldType(std::string_view text, FieldType* type);

// A field to create: the length is needed for character (1..65000) and numeric (1..32) fields;
// for the other types 0 means the type's own size, and any other value must equal it.
struct FieldDef {
  std::string name;
  FieldType type = FieldType::kCharacter;
  uint32_t length = 0;
  uint16_t decimals = 0;
};

// A field of an open table. The offset counts from the start of the record image, whose first
// byte is the deleted mark.
struct Field {
  std::string name;
  FieldType type = FieldType::kCharacter;
  uint32_t length = 0;
  uint16_t decimals = 0;
  uint32_t offset = 0;
};

// A tag of the index file as its header describes it.
struct TagInfo {
  std::string name;
  std::string expression;  // field names joined by ";"
  uint32_t page_size = 0;
  uint32_t key_width = 0;  // bytes of one key, without the record number
  uint32_t entry_count = 0;
  uint32_t page_count = 0;
};

}  // namespace kx::engine
