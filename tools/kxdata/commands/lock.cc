// lock FILE: holds a table open exclusively, or any other file (an index file) open so that
// no other program may open it, until the process is killed.
#include <cctype>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "engine/os_file.h"
#include "engine/table_file.h"
#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"

namespace kx::kxdata {

namespace {
bool IsTablePath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string extension = path.substr(path.size() - 4);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".adt";
}
}  // namespace

int CmdLock(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {}, {}, 1, 1);
  const std::string& path = args.positional[0];
  std::unique_ptr<engine::TableFile> table;
  std::unique_ptr<engine::OsFile> file;
  if (IsTablePath(path)) {
    table = engine::TableFile::Open(path, engine::OpenMode::kExclusive);
  } else {
    // The engine's exclusive lock kind: on Windows a handle that shares nothing, so that
    // others can neither open, delete nor replace the file while it is held. Natively it
    // is an advisory lock, which does not stop a deletion.
    engine::OpenResult result;
    std::string error;
    file = engine::OsFile::Open(path, engine::OsFile::Mode::kReadWrite,
                                engine::LockKind::kExclusive, &result, &error);
    if (!file) throw ToolError("cannot hold " + path + ": " + error);
  }
  // Whoever waits for the lock reads this line, so it must leave at once.
  context.out << "locked" << std::endl;
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace kx::kxdata
