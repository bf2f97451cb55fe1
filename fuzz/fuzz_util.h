// Shared by the fuzz targets: a private scratch folder, file writes, and the small table the
// index target puts its inputs beside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kx::fuzz {

// Puts a file layer under the engine that leaves out the flushes to the disk (they would
// only slow the runs); once per process, later calls do nothing.
void SkipDiskFlushes();
// A folder of this process under the temporary folder, made at the first call.
const std::string& ScratchFolder();
void WriteFile(const std::string& path, const uint8_t* data, size_t size);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// Makes `path` a table of a few records of every field type (replacing any file there).
void MakeSmallTable(const std::string& path);
// Makes `path` a table of some hundred records, every fifth deleted, with an index file of
// two tags: a table whose pack moves records in several steps.
void MakePackableTable(const std::string& path);

}  // namespace kx::fuzz
