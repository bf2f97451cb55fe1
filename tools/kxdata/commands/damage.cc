// damage FILE --truncate N | --flip OFFSET[:MASK] ...
#include <iostream>
#include <limits>

#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"
#include "tools/kxdata/file_damage.h"

namespace kx::kxdata {

namespace {

constexpr long long kMaxOffset = std::numeric_limits<long long>::max();

// A mask is a byte, written in decimal or with a 0x prefix in hexadecimal.
std::uint8_t ParseMask(const std::string& text) {
  long long value = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::size_t used = 0;
    try {
      value = std::stoll(text.substr(2), &used, 16);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != text.size() - 2 || text[2] == '-' || text[2] == '+') {
      throw UsageError("mask must be a byte, not \"" + text + "\"");
    }
  } else {
    value = ParseInteger(text, "mask", 1, 255);
  }
  if (value < 1 || value > 255) throw UsageError("mask must be from 1 to 255, not " + text);
  return static_cast<std::uint8_t>(value);
}

}  // namespace

int CmdDamage(CommandContext& context) {
  ParsedArgs args = ParseArgs(context.args, {"truncate", "flip"}, {}, 1, 1);
  if (args.options.empty()) throw UsageError("say how to damage the file");
  const std::string& path = args.positional[0];
  for (const auto& [name, value] : args.options) {
    if (name == "truncate") {
      auto size = ParseInteger(value, "size", 0, kMaxOffset);
      TruncateFile(path, static_cast<std::uint64_t>(size));
      context.out << path << ": truncated to " << size << " bytes\n";
    } else {
      std::string offset_text = value;
      std::uint8_t mask = 0xFF;
      if (auto colon = value.find(':'); colon != std::string::npos) {
        offset_text = value.substr(0, colon);
        mask = ParseMask(value.substr(colon + 1));
      }
      auto offset = ParseInteger(offset_text, "offset", 0, kMaxOffset);
      std::uint8_t old_value = FlipByte(path, static_cast<std::uint64_t>(offset), mask);
      context.out << path << ": byte " << offset << " changed from " << int{old_value} << " to "
                  << int{static_cast<std::uint8_t>(old_value ^ mask)} << "\n";
    }
  }
  return kExitOk;
}

}  // namespace kx::kxdata
