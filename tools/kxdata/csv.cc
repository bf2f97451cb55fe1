#include "tools/kxdata/csv.h"

#include <sstream>

namespace kx::kxdata {

CsvError::CsvError(std::size_t line, const std::string& what)
    : Exception("CSV line " + std::to_string(line) + ": " + what), line_(line) {}

int CsvReader::Get() { return in_.get(); }

int CsvReader::Peek() { return in_.peek(); }

namespace {

bool EndsField(int c) {
  return c == ',' || c == '\n' || c == '\r' || c == std::char_traits<char>::eof();
}

}  // namespace

void CsvReader::SkipByteOrderMark() {
  static const char kBom[] = "\xEF\xBB\xBF";
  if (Peek() != 0xEF) return;
  for (int i = 0; i < 3; ++i) {
    if (Get() != static_cast<unsigned char>(kBom[i])) {
      throw CsvError(line_, "the input starts with an incomplete byte order mark");
    }
  }
}

void CsvReader::SkipEmptyLines() {
  for (;;) {
    int c = Peek();
    if (c == '\n') {
      Get();
      ++line_;
    } else if (c == '\r') {
      Get();
      if (Peek() != '\n') throw CsvError(line_, "a carriage return without a line feed");
      Get();
      ++line_;
    } else {
      return;
    }
  }
}

std::string CsvReader::ReadQuotedField(std::size_t number) {
  std::string field;
  Get();  // the opening quote
  const std::size_t quote_line = line_;
  for (;;) {
    int c = Get();
    if (c == std::char_traits<char>::eof()) {
      throw CsvError(quote_line, "a quoted field is not closed before the end of the input");
    }
    if (c == '"') {
      if (Peek() != '"') break;
      Get();
      field.push_back('"');
      continue;
    }
    if (c == '\n') ++line_;
    field.push_back(static_cast<char>(c));
  }
  if (!EndsField(Peek())) {
    throw CsvError(line_, "text after the closing quote of field " + std::to_string(number));
  }
  return field;
}

std::string CsvReader::ReadUnquotedField(std::size_t number) {
  std::string field;
  for (int c = Peek(); !EndsField(c); c = Peek()) {
    if (c == '"') {
      throw CsvError(line_, "a quote inside unquoted field " + std::to_string(number) +
                                " (enclose the field in quotes and double the quote)");
    }
    field.push_back(static_cast<char>(Get()));
  }
  return field;
}

bool CsvReader::Next(CsvRow& row) {
  row.fields.clear();
  if (!started_) {
    started_ = true;
    SkipByteOrderMark();
  }
  SkipEmptyLines();
  if (Peek() == std::char_traits<char>::eof()) return false;

  row.line = line_;
  for (;;) {
    const std::size_t number = row.fields.size() + 1;
    row.fields.push_back(Peek() == '"' ? ReadQuotedField(number) : ReadUnquotedField(number));
    const int c = Get();
    if (c == ',') continue;
    if (c == '\r') {
      if (Peek() != '\n') throw CsvError(line_, "a carriage return without a line feed");
      Get();
    }
    if (c != std::char_traits<char>::eof()) ++line_;
    return true;
  }
}

std::vector<CsvRow> ParseCsv(const std::string& text) {
  std::istringstream in(text);
  CsvReader reader(in);
  std::vector<CsvRow> rows;
  CsvRow row;
  while (reader.Next(row)) rows.push_back(row);
  return rows;
}

}  // namespace kx::kxdata
