// The floor a rebuild is measured against: what the plainest program does with the same
// table file. For a tag it reads the records, extracts each live record's key (the engine's
// key images, so the order is the same), sorts the entries with std::sort and writes them out
// one after another, flushed. For a pack it copies the header and the live records to a new
// file, flushed. No pages, no checksums, no crash safety.
#pragma once

#include <cstdint>
#include <string>

namespace kx::bench {

struct RawResult {
  double seconds = 0;
  uint64_t records = 0;  // entries written (tags) or live records copied (pack)
  uint64_t bytes_written = 0;
};

// Writes the sorted entries (key, then record number big-endian, as in an index page) of every
// live record of `table_path` for `expression` to `out_path`.
RawResult RawTagBuild(const std::string& table_path, const std::string& expression,
                      const std::string& out_path);

// Copies the table's header and its live records to `out_path`.
RawResult RawLiveCopy(const std::string& table_path, const std::string& out_path);

}  // namespace kx::bench
