#include "engine/table_format.h"

#include <cstring>

#include "engine/byte_coding.h"
#include "engine/error_codes.h"
#include "engine/field_values.h"

namespace kx::engine {

std::vector<Field> LayOutFields(const std::vector<FieldDef>& defs) {
  if (defs.empty()) Fail(kErrBadFieldList, "a table needs at least one field");
  if (defs.size() > 65535) Fail(kErrBadFieldList, "more than 65535 fields");
  std::vector<Field> fields;
  uint64_t offset = 1;  // after the deleted mark
  for (const FieldDef& d : defs) {
    if (d.name.empty() || d.name.size() > kMaxFieldName) {
      Fail(kErrBadFieldList, "the field name \"" + d.name + "\" must have 1 to " +
                                 std::to_string(kMaxFieldName) + " characters");
    }
    for (char c : d.name) {
      if (c == ';' || c == ' ' || static_cast<unsigned char>(c) < 0x21) {
        Fail(kErrBadFieldList, "the field name \"" + d.name + "\" holds a blank or \";\"");
      }
    }
    for (const Field& f : fields) {
      if (EqualsIgnoreCase(f.name, d.name)) {
        Fail(kErrBadFieldList, "the field name " + d.name + " appears twice");
      }
    }
    Field f;
    f.name = d.name;
    f.type = d.type;
    f.decimals = 0;
    switch (d.type) {
      case FieldType::kCharacter:
        if (d.length < 1 || d.length > 65000) {
          Fail(kErrBadFieldList, "the character field " + d.name + " needs a length of 1 to 65000");
        }
        f.length = d.length;
        break;
      case FieldType::kNumeric:
        if (d.length < 1 || d.length > 32) {
          Fail(kErrBadFieldList, "the numeric field " + d.name + " needs a length of 1 to 32");
        }
        if (d.decimals > 15 || (d.decimals > 0 && d.decimals + 2u > d.length)) {
          Fail(kErrBadFieldList, "the numeric field " + d.name + " has too many decimals");
        }
        f.length = d.length;
        f.decimals = d.decimals;
        break;
      default: {
        uint32_t size = StoredSize(d.type, 0);
        if (size == 0) Fail(kErrBadFieldList, "the field " + d.name + " has an unknown type");
        if (d.length != 0 && d.length != size) {
          Fail(kErrBadFieldList, "a " + std::string(FieldTypeName(d.type)) + " field (" + d.name +
                                     ") always has the length " + std::to_string(size));
        }
        f.length = size;
      }
    }
    f.offset = static_cast<uint32_t>(offset);
    offset += f.length;
    if (offset > 0x7FFFFFFF) Fail(kErrBadFieldList, "the record is too long");
    fields.push_back(f);
  }
  return fields;
}

std::string EncodeTableHeader(const TableHeader& h) {
  std::string out(kTableFixedHeader + kFieldDescriptorSize * h.fields.size(), '\0');
  char* p = out.data();
  std::memcpy(p, kTableMagic, 8);
  PutU32(p + table_header::kVersion, kTableVersion);
  PutU32(p + table_header::kHeaderSize, static_cast<uint32_t>(out.size()));
  PutU32(p + table_header::kRecordLength, h.record_length);
  PutU32(p + table_header::kRecordCount, h.record_count);
  PutU16(p + table_header::kFieldCount, static_cast<uint16_t>(h.fields.size()));
  char* d = p + kTableFixedHeader;
  for (const Field& f : h.fields) {
    std::memcpy(d + field_descriptor::kName, f.name.data(), f.name.size());
    PutU16(d + field_descriptor::kType, static_cast<uint16_t>(f.type));
    PutU16(d + field_descriptor::kDecimals, f.decimals);
    PutU32(d + field_descriptor::kLength, f.length);
    PutU32(d + field_descriptor::kOffset, f.offset);
    d += kFieldDescriptorSize;
  }
  PutU32(p + table_header::kChecksum, Crc32(out.data(), out.size()));
  return out;
}

uint32_t AnnouncedHeaderSize(const char* fixed) {
  if (std::memcmp(fixed, kTableMagic, 8) != 0) return 0;
  return GetU32(fixed + table_header::kHeaderSize);
}

HeaderStatus DecodeTableHeader(const char* data, size_t size, TableHeader* h, std::string* why) {
  if (size < kTableFixedHeader || std::memcmp(data, kTableMagic, 8) != 0) {
    *why = "it does not begin with the table file mark";
    return HeaderStatus::kNotOurs;
  }
  uint32_t version = GetU32(data + table_header::kVersion);
  uint32_t header_size = GetU32(data + table_header::kHeaderSize);
  uint16_t count = GetU16(data + table_header::kFieldCount);
  if (header_size != kTableFixedHeader + kFieldDescriptorSize * count) {
    *why = "the header size does not match its field count";
    return HeaderStatus::kDamaged;
  }
  if (size < header_size) {
    *why = "the file ends inside its header";
    return HeaderStatus::kDamaged;
  }
  std::string copy(data, header_size);
  PutU32(copy.data() + table_header::kChecksum, 0);
  if (Crc32(copy.data(), copy.size()) != GetU32(data + table_header::kChecksum)) {
    *why = "the header checksum does not match";
    return HeaderStatus::kDamaged;
  }
  if (version != kTableVersion) {
    *why = "its format version " + std::to_string(version) + " is not supported";
    return HeaderStatus::kDamaged;
  }
  h->header_size = header_size;
  h->record_length = GetU32(data + table_header::kRecordLength);
  h->record_count = GetU32(data + table_header::kRecordCount);
  h->fields.clear();
  uint64_t offset = 1;
  for (uint16_t i = 0; i < count; ++i) {
    const char* d = data + kTableFixedHeader + kFieldDescriptorSize * i;
    Field f;
    f.name.assign(d + field_descriptor::kName,
                  strnlen(d + field_descriptor::kName, field_descriptor::kNameSize));
    f.type = static_cast<FieldType>(GetU16(d + field_descriptor::kType));
    f.decimals = GetU16(d + field_descriptor::kDecimals);
    f.length = GetU32(d + field_descriptor::kLength);
    f.offset = GetU32(d + field_descriptor::kOffset);
    uint32_t fixed = StoredSize(f.type, f.length);
    if (f.name.empty() || f.name.size() > kMaxFieldName || fixed == 0 || fixed != f.length ||
        f.offset != offset) {
      *why = "the descriptor of field " + std::to_string(i + 1) + " is not valid";
      return HeaderStatus::kDamaged;
    }
    offset += f.length;
    h->fields.push_back(f);
  }
  if (count == 0 || offset != h->record_length) {
    *why = "the record length does not match its fields";
    return HeaderStatus::kDamaged;
  }
  return HeaderStatus::kOk;
}

}  // namespace kx::engine
