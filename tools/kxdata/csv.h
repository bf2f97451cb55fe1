// A reader of comma-separated values: the input format of `kxdata add`.
//
// Fields are separated by commas and rows by LF or CRLF. A field may be enclosed in double
// quotes; inside it commas and line breaks are data and a doubled quote stands for one quote.
// A UTF-8 byte order mark before the first row is skipped, and so are empty lines. Anything
// else that is not well formed (a quote inside an unquoted field, text after a closing quote,
// a quoted field that never ends) is an error that names the line where the row began.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "src/common/exception.h"

namespace kx::kxdata {

class CsvError : public Exception {
 public:
  CsvError(std::size_t line, const std::string& what);
  std::size_t Line() const { return line_; }

 private:
  std::size_t line_;
};

struct CsvRow {
  std::vector<std::string> fields;
  std::size_t line = 0;  // line number (from 1) where the row begins
};

class CsvReader {
 public:
  explicit CsvReader(std::istream& in) : in_(in) {}

  // Reads the next row into `row`; false at the end of the input. Throws CsvError.
  bool Next(CsvRow& row);

 private:
  int Get();
  int Peek();
  // A byte order mark at the start of the input is skipped (an incomplete one refused).
  void SkipByteOrderMark();
  // Skips empty lines before a row.
  void SkipEmptyLines();
  // The fields of a row, numbered from 1 in the messages; each ends before its separator.
  std::string ReadQuotedField(std::size_t number);
  std::string ReadUnquotedField(std::size_t number);

  std::istream& in_;
  std::size_t line_ = 1;
  bool started_ = false;
};

// Parses a whole text; convenient for small inputs and tests.
std::vector<CsvRow> ParseCsv(const std::string& text);

}  // namespace kx::kxdata
