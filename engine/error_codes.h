// The engine's error codes and their texts, and the exception that carries them.
//
// Every failure inside the engine is an EngineError with one of these codes; the C exports
// turn it into a result code and the calling thread's last error (AdsGetLastError), so no
// C++ exception crosses the DLL boundary. The engine's errors have their own base: the
// engine knows nothing of the program that calls it.
// The codes 5024, 5068, 5132 and 5138 are never used: callers give them special meanings.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace kx::engine {

enum ErrorCode : uint32_t {
  kOk = 0,
  kErrInvalidArgument = 5001,    // an argument is missing or out of range
  kErrNotSupported = 5004,       // a feature this engine does not have
  kErrBufferTooSmall = 5005,     // the caller's buffer cannot hold the value
  kErrInvalidHandle = 5010,      // not a handle of this engine, or already closed
  kErrFolderNotFound = 5012,     // the connect path is not an existing folder
  kErrServerUnavailable = 5013,  // only the local server is available
  kErrTableNotFound = 5020,      // the table file does not exist
  kErrNotATable = 5021,          // the file is not a table file of this engine
  kErrTableDamaged = 5022,       // the table file is damaged
  kErrTableExists = 5023,        // a table file to be created already exists
  kErrTableInUse = 5030,         // the table is in use by another user or handle
  kErrIo = 5040,                 // the operating system refused a read, write or rename
  kErrFieldNotFound = 5050,      // a field named in an expression or call does not exist
  kErrBadExpression = 5051,      // an index key expression that cannot be used
  kErrTagNotFound = 5052,        // no tag of that name in the index file
  kErrIndexDamaged = 5053,       // the index file is damaged
  kErrNoCurrentRecord = 5060,    // the cursor is at BOF or EOF
  kErrReadOnly = 5061,           // the table is open read-only
  kErrNeedsExclusive = 5062,     // the operation needs the table opened exclusively
  kErrBadValue = 5070,           // a field value that cannot be stored
  kErrRecordNotFound = 5071,     // a record number outside the table
  kErrBadFieldList = 5072,       // a field list that cannot make a table
};

// The fixed text of a code, without details ("" for kOk, a generic text for unknown codes).
const char* ErrorText(uint32_t code);

// Every code of the table above, in order; for tests and documentation.
const uint32_t* AllErrorCodes(size_t* count);

// A failure of the engine: the code and the full message (the code's text plus details).
class EngineError : public std::exception {
 public:
  EngineError(uint32_t code, const std::string& detail);
  uint32_t Code() const { return code_; }
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  uint32_t code_;
  std::string message_;
};

[[noreturn]] void Fail(uint32_t code, const std::string& detail = std::string());

}  // namespace kx::engine
