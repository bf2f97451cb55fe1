#include "engine/field_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "engine/byte_coding.h"
#include "engine/error_codes.h"

namespace kx::engine {
namespace {

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Days from the civil date, with 1 January 4713 BC (proleptic Julian) as day 0: the
// astronomers' Julian day number. Valid for years 1 to 9999.
int32_t DayNumber(int y, int m, int d) {
  int a = (14 - m) / 12;
  int yy = y + 4800 - a;
  int mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}
// In 64-bit arithmetic: a damaged record can hold any 32-bit day number, and the products
// below overflow 32 bits for large ones.
void CivilDate(int32_t jdn, int* y, int* m, int* d) {
  int64_t a = int64_t{jdn} + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t dd = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * dd / 4;
  int64_t mm = (5 * e + 2) / 153;
  *d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
  *m = static_cast<int>(mm + 3 - 12 * (mm / 10));
  *y = static_cast<int>(100 * b + dd - 4800 + mm / 10);
}
const int32_t kFirstDay = DayNumber(1, 1, 1);
const int32_t kLastDay = DayNumber(9999, 12, 31);

bool ParseInt(std::string_view s, int64_t* v) {
  if (s.empty()) return false;
  const char* b = s.data();
  if (*b == '+') ++b;
  auto r = std::from_chars(b, s.data() + s.size(), *v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseDouble(std::string_view s, double* v) {
  std::string t(s);
  if (t.empty()) return false;
  char* end = nullptr;
  *v = std::strtod(t.c_str(), &end);
  return end == t.c_str() + t.size() && std::isfinite(*v);
}

bool Digits(std::string_view s, size_t at, size_t n, int* v) {
  if (at + n > s.size()) return false;
  *v = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    *v = *v * 10 + (s[i] - '0');
  }
  return true;
}

bool ParseDate(std::string_view s, int32_t* day) {
  int y, m, d;
  if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !Digits(s, 0, 4, &y) ||
      !Digits(s, 5, 2, &m) || !Digits(s, 8, 2, &d)) {
    return false;
  }
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  int32_t n = DayNumber(y, m, d);
  int y2, m2, d2;
  CivilDate(n, &y2, &m2, &d2);
  if (y2 != y || m2 != m || d2 != d) return false;  // 31 April and the like
  *day = n;
  return true;
}

bool ParseTimestamp(std::string_view s, int32_t* day, int32_t* ms) {
  if (s.size() < 19 || (s[10] != ' ' && s[10] != 'T')) return false;
  if (!ParseDate(s.substr(0, 10), day)) return false;
  int h, mi, se, frac = 0;
  if (s[13] != ':' || s[16] != ':' || !Digits(s, 11, 2, &h) || !Digits(s, 14, 2, &mi) ||
      !Digits(s, 17, 2, &se)) {
    return false;
  }
  if (s.size() > 19) {
    if (s.size() != 23 || s[19] != '.' || !Digits(s, 20, 3, &frac)) return false;
  }
  if (h > 23 || mi > 59 || se > 59) return false;
  *ms = ((h * 60 + mi) * 60 + se) * 1000 + frac;
  return true;
}

std::string DateText(int32_t day) {
  if (day == 0) return "";
  int y, m, d;
  CivilDate(day, &y, &m, &d);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

uint64_t SortableDouble(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  if (v == 0) bits = 0;  // -0 and +0 are one key
  return bits & 0x8000000000000000ull ? ~bits : bits | 0x8000000000000000ull;
}

double NumericValue(const Field& f, const char* in, bool* blank, bool* ok) {
  std::string t = Trim(std::string_view(in, f.length));
  *blank = t.empty();
  *ok = true;
  if (t.empty()) return 0;
  double v = 0;
  *ok = ParseDouble(t, &v);
  return v;
}

[[noreturn]] void BadValue(const Field& f, std::string_view text, const std::string& why) {
  Fail(kErrBadValue, "\"" + std::string(text) + "\" for field " + f.name + " (" +
                         FieldTypeName(f.type) + "): " + why);
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::kLogical:
      return "logical";
    case FieldType::kNumeric:
      return "numeric";
    case FieldType::kDate:
      return "date";
    case FieldType::kCharacter:
      return "character";
    case FieldType::kDouble:
      return "double";
    case FieldType::kInteger:
      return "integer";
    case FieldType::kTimestamp:
      return "timestamp";
  }
  return "unknown";
}

bool ParseFieldType(std::string_view text, FieldType* type) {
  static constexpr struct {
    const char* name;
    const char* letter;
    FieldType type;
  } kTypes[] = {
      {"logical", "L", FieldType::kLogical},     {"numeric", "N", FieldType::kNumeric},
      {"date", "D", FieldType::kDate},           {"character", "C", FieldType::kCharacter},
      {"double", "B", FieldType::kDouble},       {"integer", "I", FieldType::kInteger},
      {"timestamp", "T", FieldType::kTimestamp},
  };
  for (const auto& t : kTypes) {
    if (EqualsIgnoreCase(text, t.name) || EqualsIgnoreCase(text, t.letter)) {
      *type = t.type;
      return true;
    }
  }
  return false;
}

uint32_t StoredSize(FieldType type, uint32_t length) {
  switch (type) {
    case FieldType::kLogical:
      return 1;
    case FieldType::kDate:
      return 4;
    case FieldType::kInteger:
      return 4;
    case FieldType::kDouble:
      return 8;
    case FieldType::kTimestamp:
      return 8;
    case FieldType::kCharacter:
    case FieldType::kNumeric:
      return length;
  }
  return 0;
}

void BlankValue(const Field& f, char* out) {
  switch (f.type) {
    case FieldType::kCharacter:
    case FieldType::kNumeric:
    case FieldType::kLogical:
      std::memset(out, ' ', f.length);
      break;
    default:
      std::memset(out, 0, f.length);
  }
}

namespace {

void FormatCharacter(const Field& f, std::string_view text, char* out) {
  if (text.size() > f.length) {
    BadValue(f, text, "longer than the field's " + std::to_string(f.length) + " characters");
  }
  // An empty view may carry a null pointer, which memcpy must not see.
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  std::memset(out + text.size(), ' ', f.length - text.size());
}

void FormatNumeric(const Field& f, std::string_view text, char* out) {
  std::string t = Trim(text);
  if (t.empty()) {
    std::memset(out, ' ', f.length);
    return;
  }
  double v;
  if (!ParseDouble(t, &v)) BadValue(f, text, "not a number");
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%*.*f", static_cast<int>(f.length),
                        static_cast<int>(f.decimals), v);
  if (n < 0 || static_cast<uint32_t>(n) > f.length) {
    BadValue(f, text, "does not fit in " + std::to_string(f.length) + " characters");
  }
  std::memcpy(out, buf, f.length);
}

void FormatInteger(const Field& f, std::string_view text, char* out) {
  int64_t v = 0;
  std::string t = Trim(text);
  if (!t.empty() && !ParseInt(t, &v)) BadValue(f, text, "not a whole number");
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    BadValue(f, text, "outside the 32-bit range");
  }
  PutU32(out, static_cast<uint32_t>(static_cast<int32_t>(v)));
}

void FormatDouble(const Field& f, std::string_view text, char* out) {
  double v = 0;
  std::string t = Trim(text);
  if (!t.empty() && !ParseDouble(t, &v)) BadValue(f, text, "not a number");
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  PutU64(out, bits);
}

void FormatDate(const Field& f, std::string_view text, char* out) {
  int32_t day = 0;
  std::string t = Trim(text);
  if (!t.empty() && !ParseDate(t, &day)) BadValue(f, text, "not a date YYYY-MM-DD");
  PutU32(out, static_cast<uint32_t>(day));
}

void FormatTimestamp(const Field& f, std::string_view text, char* out) {
  int32_t day = 0, ms = 0;
  std::string t = Trim(text);
  if (!t.empty() && !ParseTimestamp(t, &day, &ms)) {
    BadValue(f, text, "not a timestamp YYYY-MM-DD HH:MM:SS[.mmm]");
  }
  PutU32(out, static_cast<uint32_t>(day));
  PutU32(out + 4, static_cast<uint32_t>(ms));
}

void FormatLogical(const Field& f, std::string_view text, char* out) {
  std::string t = Trim(text);
  for (char& c : t) c = Upper(c);
  if (t.empty() || t == "?")
    *out = ' ';
  else if (t == "T" || t == "Y" || t == "TRUE" || t == "YES" || t == "1")
    *out = 'T';
  else if (t == "F" || t == "N" || t == "FALSE" || t == "NO" || t == "0")
    *out = 'F';
  else
    BadValue(f, text, "not a logical value (T or F)");
}

}  // namespace

void FormatValue(const Field& f, std::string_view text, char* out) {
  switch (f.type) {
    case FieldType::kCharacter:
      return FormatCharacter(f, text, out);
    case FieldType::kNumeric:
      return FormatNumeric(f, text, out);
    case FieldType::kInteger:
      return FormatInteger(f, text, out);
    case FieldType::kDouble:
      return FormatDouble(f, text, out);
    case FieldType::kDate:
      return FormatDate(f, text, out);
    case FieldType::kTimestamp:
      return FormatTimestamp(f, text, out);
    case FieldType::kLogical:
      return FormatLogical(f, text, out);
  }
}

std::string ValueText(const Field& f, const char* in) {
  switch (f.type) {
    case FieldType::kCharacter: {
      size_t n = f.length;
      while (n > 0 && in[n - 1] == ' ') --n;
      return std::string(in, n);
    }
    case FieldType::kNumeric:
      return Trim(std::string_view(in, f.length));
    case FieldType::kInteger:
      return std::to_string(static_cast<int32_t>(GetU32(in)));
    case FieldType::kDouble: {
      uint64_t bits = GetU64(in);
      double v;
      std::memcpy(&v, &bits, 8);
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, v);
      return std::string(buf, r.ptr);
    }
    case FieldType::kDate:
      return DateText(static_cast<int32_t>(GetU32(in)));
    case FieldType::kTimestamp: {
      int32_t day = static_cast<int32_t>(GetU32(in));
      int32_t ms = static_cast<int32_t>(GetU32(in + 4));
      if (day == 0 && ms == 0) return "";
      char buf[64];
      int s = ms / 1000;
      std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
      std::string text = DateText(day) + buf;
      if (ms % 1000 != 0) {
        std::snprintf(buf, sizeof buf, ".%03d", ms % 1000);
        text += buf;
      }
      return text;
    }
    case FieldType::kLogical:
      return *in == ' ' ? std::string() : std::string(1, *in);
  }
  return std::string();
}

std::string CheckValue(const Field& f, const char* in) {
  switch (f.type) {
    case FieldType::kCharacter:
    case FieldType::kInteger:
      return std::string();
    case FieldType::kNumeric: {
      bool blank, ok;
      NumericValue(f, in, &blank, &ok);
      return ok ? std::string() : "field " + f.name + " does not hold a number";
    }
    case FieldType::kDouble: {
      uint64_t bits = GetU64(in);
      double v;
      std::memcpy(&v, &bits, 8);
      return std::isfinite(v) ? std::string() : "field " + f.name + " holds no finite number";
    }
    case FieldType::kDate: {
      int32_t day = static_cast<int32_t>(GetU32(in));
      return day == 0 || (day >= kFirstDay && day <= kLastDay)
                 ? std::string()
                 : "field " + f.name + " holds no valid date";
    }
    case FieldType::kTimestamp: {
      int32_t day = static_cast<int32_t>(GetU32(in));
      int32_t ms = static_cast<int32_t>(GetU32(in + 4));
      bool empty = day == 0 && ms == 0;
      bool valid = day >= kFirstDay && day <= kLastDay && ms >= 0 && ms < 86400000;
      return empty || valid ? std::string() : "field " + f.name + " holds no valid timestamp";
    }
    case FieldType::kLogical:
      return *in == 'T' || *in == 'F' || *in == ' ' ? std::string()
                                                    : "field " + f.name + " holds no logical value";
  }
  return "field " + f.name + " has an unknown type";
}

uint32_t KeyWidth(const Field& f) {
  switch (f.type) {
    case FieldType::kNumeric:
      return 8;
    default:
      return f.length;
  }
}

void KeyImage(const Field& f, const char* in, char* out) {
  switch (f.type) {
    case FieldType::kCharacter:
    case FieldType::kLogical:
      std::memcpy(out, in, f.length);
      return;
    case FieldType::kNumeric: {
      bool blank, ok;
      double v = NumericValue(f, in, &blank, &ok);
      // Blank (and unreadable) numbers sort before every number.
      PutBE64(out, blank || !ok ? 0 : SortableDouble(v));
      return;
    }
    case FieldType::kInteger:
    case FieldType::kDate:
      PutBE32(out, GetU32(in) ^ 0x80000000u);
      return;
    case FieldType::kDouble: {
      uint64_t bits = GetU64(in);
      double v;
      std::memcpy(&v, &bits, 8);
      PutBE64(out, SortableDouble(v));
      return;
    }
    case FieldType::kTimestamp:
      PutBE32(out, GetU32(in) ^ 0x80000000u);
      PutBE32(out + 4, GetU32(in + 4) ^ 0x80000000u);
      return;
  }
}

KeySpec ParseExpression(const std::vector<Field>& fields, const std::string& expression,
                        const std::string& table_path) {
  KeySpec layout;
  if (Trim(expression).empty()) Fail(kErrBadExpression, "the expression is empty");
  size_t start = 0;
  while (true) {
    size_t end = expression.find(';', start);
    std::string name =
        Trim(std::string_view(expression)
                 .substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (name.empty()) {
      Fail(kErrBadExpression, "\"" + expression + "\" has an empty field name");
    }
    const Field* found = nullptr;
    for (const Field& f : fields) {
      if (EqualsIgnoreCase(f.name, name)) found = &f;
    }
    if (found == nullptr) {
      Fail(kErrFieldNotFound, name + " named in the index expression \"" + expression +
                                  "\" does not exist in the table " + table_path + ".");
    }
    layout.fields.push_back(found);
    layout.parts.push_back(
        {found, KeyWidth(*found),
         found->type == FieldType::kCharacter || found->type == FieldType::kLogical});
    layout.width += KeyWidth(*found);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return layout;
}

}  // namespace kx::engine
