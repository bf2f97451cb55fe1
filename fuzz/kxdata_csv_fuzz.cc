// CSV text of arbitrary bytes: the reader returns rows or throws CsvError, rows begin on
// ascending lines, and rows written back with every field quoted read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tools/kxdata/csv.h"

namespace {
std::string Quoted(const std::vector<kx::kxdata::CsvRow>& rows) {
  std::string text;
  for (const kx::kxdata::CsvRow& row : rows) {
    for (size_t i = 0; i < row.fields.size(); ++i) {
      if (i > 0) text += ',';
      text += '"';
      for (char c : row.fields[i]) text += c == '"' ? std::string("\"\"") : std::string(1, c);
      text += '"';
    }
    text += "\r\n";
  }
  return text;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<kx::kxdata::CsvRow> rows;
  try {
    rows = kx::kxdata::ParseCsv(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const kx::kxdata::CsvError&) {
    return 0;
  }
  for (size_t i = 1; i < rows.size(); ++i) {
    if (rows[i].line <= rows[i - 1].line) {
      std::fprintf(stderr, "row %zu begins on line %zu after line %zu\n", i, rows[i].line,
                   rows[i - 1].line);
      std::abort();
    }
  }
  std::vector<kx::kxdata::CsvRow> again = kx::kxdata::ParseCsv(Quoted(rows));
  bool same = again.size() == rows.size();
  for (size_t i = 0; same && i < rows.size(); ++i) same = again[i].fields == rows[i].fields;
  if (!same) {
    std::fprintf(stderr, "the quoted rows read back differently\n");
    std::abort();
  }
  return 0;
}
