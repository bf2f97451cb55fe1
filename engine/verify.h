// Checks table and index files: checksums of headers and pages, every record well formed,
// every tag of the index file consistent with the live records (exactly one entry per live
// record, the right key, in order). Shared by the data tool and the tests.
//
// Verification opens each table read-only through TableFile, so it completes an interrupted
// pack first, as any open does, and reports a table that another program holds exclusively.
#pragma once

#include <string>
#include <vector>

namespace kx::engine {

class TableFile;

struct VerifyProblem {
  std::string file;     // the path of the file concerned
  std::string message;  // what is wrong, e.g. "tag IITEM: page 3: checksum mismatch"
};

struct VerifyReport {
  std::vector<std::string> tables;  // paths of the tables checked
  std::vector<VerifyProblem> problems;

  bool Ok() const { return problems.empty(); }
  // One line per problem ("<file>: <message>"), or "OK: N table(s)" when there are none.
  std::string ToString() const;
};

// One table file and its index file (an absent index file is not a problem).
VerifyReport VerifyTable(const std::string& table_path);
// The same for a table this process holds open (in any mode).
VerifyReport VerifyTable(const TableFile& table);
// Every .adt file of a folder (case of the extension ignored), in name order; an index file
// whose table is missing is reported too.
VerifyReport VerifyFolder(const std::string& dir);

}  // namespace kx::engine
