// Field values as stored in record images: their text form, blank values, checks of stored
// bytes, and the key images that index keys are made of.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/byte_coding.h"
#include "engine/value_types.h"

namespace kx::engine {

// The bytes a field takes in a record.
uint32_t StoredSize(FieldType type, uint32_t length);
void BlankValue(const Field& field, char* out);
// Throws EngineError(kErrBadValue) naming the field when the text does not fit.
void FormatValue(const Field& field, std::string_view text, char* out);
std::string ValueText(const Field& field, const char* in);
// Empty when the stored bytes are a valid value, else what is wrong with them.
std::string CheckValue(const Field& field, const char* in);
// Keys: fixed width per field, ordered by memcmp.
uint32_t KeyWidth(const Field& field);
void KeyImage(const Field& field, const char* in, char* out);

// Key expressions.
struct KeySpec {
  std::vector<const Field*> fields;
  uint32_t width = 0;
  // Where each field's key image goes, and whether it is the field's bytes as stored.
  struct Part {
    const Field* field;
    uint32_t width;
    bool copied;
  };
  std::vector<Part> parts;
};
// Field names joined by ";" (blanks around names ignored, case ignored). Throws
// kErrFieldNotFound naming an unknown field, kErrBadExpression for an empty part.
KeySpec ParseExpression(const std::vector<Field>& fields, const std::string& expression,
                        const std::string& table_path);
inline void ExtractKey(const KeySpec& layout, const char* record, char* out) {
  for (const KeySpec::Part& part : layout.parts) {
    const Field& f = *part.field;
    if (part.copied) {
      std::memcpy(out, record + f.offset, part.width);
    } else if (f.type == FieldType::kInteger || f.type == FieldType::kDate) {
      PutBE32(out, GetU32(record + f.offset) ^ 0x80000000u);
    } else {
      KeyImage(f, record + f.offset, out);
    }
    out += part.width;
  }
}

// Comparison of names (fields, tags) with ASCII letters' case ignored.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace kx::engine
