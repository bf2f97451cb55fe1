#include "engine/error_codes.h"

#include <iterator>

namespace kx::engine {
namespace {

struct ErrorEntry {
  uint32_t code;
  const char* summary;  // the text without details
  const char* format;   // "{}" stands for the detail given with the failure
};

// The one list of the engine's errors and their texts.
constexpr ErrorEntry kErrors[] = {
    {kErrInvalidArgument, "An argument passed to the engine is not valid.",
     "An argument passed to the engine is not valid: {}"},
    {kErrNotSupported, "The engine does not support this operation.",
     "This engine does not support {}."},
    {kErrBufferTooSmall, "The buffer is too small for the value.",
     "The buffer is too small for {}."},
    {kErrInvalidHandle, "The handle is not valid.",
     "The handle {} is not valid: it was never opened or is already closed."},
    {kErrFolderNotFound, "The folder does not exist.", "The folder {} does not exist."},
    {kErrServerUnavailable, "Only the local server is available.",
     "Only the local server is available; the server types asked for were {}."},
    {kErrTableNotFound, "The table file does not exist.", "The table file {} does not exist."},
    {kErrNotATable, "The file is not a table file.", "The file {} is not a table file."},
    {kErrTableDamaged, "The table file is damaged.", "The table file {}"},
    {kErrTableExists, "The table file already exists.", "The table file {} already exists."},
    {kErrTableInUse, "The table is in use by another user.",
     "The table {} is in use by another user."},
    {kErrIo, "The operating system refused a file operation.", "The operating system refused {}"},
    {kErrFieldNotFound, "The field does not exist in the table.", "The field {}"},
    {kErrBadExpression, "The index key expression is not valid.",
     "The index key expression is not valid: {}"},
    {kErrTagNotFound, "The index tag does not exist.", "The index tag {} does not exist."},
    {kErrIndexDamaged, "The index file is damaged.", "The index file {}"},
    {kErrNoCurrentRecord, "There is no current record.",
     "There is no current record: the cursor is at {}."},
    {kErrReadOnly, "The table is open read-only.", "The table {} is open read-only."},
    {kErrNeedsExclusive, "The table must be opened exclusively for this operation.",
     "The table {} must be opened exclusively for this operation."},
    {kErrBadValue, "A value cannot be stored in its field.", "A value cannot be stored: {}"},
    {kErrRecordNotFound, "The record does not exist.", "The record {} does not exist."},
    {kErrBadFieldList, "The field list cannot make a table.",
     "The field list cannot make a table: {}"},
};

constexpr uint32_t kAllCodes[] = {
    kErrInvalidArgument, kErrNotSupported,      kErrBufferTooSmall, kErrInvalidHandle,
    kErrFolderNotFound,  kErrServerUnavailable, kErrTableNotFound,  kErrNotATable,
    kErrTableDamaged,    kErrTableExists,       kErrTableInUse,     kErrIo,
    kErrFieldNotFound,   kErrBadExpression,     kErrTagNotFound,    kErrIndexDamaged,
    kErrNoCurrentRecord, kErrReadOnly,          kErrNeedsExclusive, kErrBadValue,
    kErrRecordNotFound,  kErrBadFieldList,
};
static_assert(std::size(kAllCodes) == std::size(kErrors), "every code has a text");

const ErrorEntry* Find(uint32_t code) {
  for (const ErrorEntry& e : kErrors) {
    if (e.code == code) return &e;
  }
  return nullptr;
}

std::string Compose(uint32_t code, const std::string& detail) {
  const ErrorEntry* entry = Find(code);
  if (entry == nullptr) {
    std::string text = "Engine error " + std::to_string(code) + ".";
    if (!detail.empty()) text += " " + detail;
    return text;
  }
  if (detail.empty()) return entry->summary;
  std::string text = entry->format;
  text.replace(text.find("{}"), 2, detail);
  return text;
}

}  // namespace

const char* ErrorText(uint32_t code) {
  if (code == kOk) return "";
  const ErrorEntry* entry = Find(code);
  return entry != nullptr ? entry->summary : "Unknown engine error.";
}

const uint32_t* AllErrorCodes(size_t* count) {
  *count = std::size(kAllCodes);
  return kAllCodes;
}

EngineError::EngineError(uint32_t code, const std::string& detail)
    : code_(code), message_(Compose(code, detail)) {}

void Fail(uint32_t code, const std::string& detail) { throw EngineError(code, detail); }

}  // namespace kx::engine
