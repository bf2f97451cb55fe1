// sample DIR [--items N] [--trans N] [--customers N] [--vendors N] [--locations N] [--seed S]
//            [--deleted PERCENT] [--intact | --no-index]
#include <chrono>
#include <cstdlib>
#include <iomanip>
#include <limits>
#include <ostream>

#include "tools/kxdata/args.h"
#include "tools/kxdata/commands/commands.h"
#include "tools/kxdata/sample_folder.h"

namespace kx::kxdata {

namespace {

double ParsePercent(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !(value >= 0 && value <= 50)) {
    throw UsageError("deleted share must be a percentage from 0 to 50, not \"" + text + "\"");
  }
  return value;
}

}  // namespace

int CmdSample(CommandContext& context) {
  ParsedArgs args = ParseArgs(
      context.args, {"items", "trans", "customers", "vendors", "locations", "seed", "deleted"},
      {"intact", "no-index"}, 1, 1);
  SampleOptions options;
  constexpr long long kMaxRecords = 50'000'000;
  auto count = [&](const char* name, std::uint32_t& target, long long min) {
    if (auto text = args.Last(name)) {
      target = static_cast<std::uint32_t>(ParseInteger(*text, name, min, kMaxRecords));
    }
  };
  count("items", options.items, 1);
  count("trans", options.trans, 0);
  count("customers", options.customers, 0);
  count("vendors", options.vendors, 0);
  if (auto text = args.Last("locations")) {
    options.locations = static_cast<std::uint32_t>(ParseInteger(*text, "locations", 1, 99));
  }
  if (auto text = args.Last("seed")) {
    options.seed = static_cast<std::uint64_t>(
        ParseInteger(*text, "seed", 0, std::numeric_limits<long long>::max()));
  }
  if (auto text = args.Last("deleted")) options.deleted_percent = ParsePercent(*text);
  options.intact = args.Has("intact");
  options.no_index = args.Has("no-index");
  if (options.intact && options.no_index) {
    throw UsageError("--intact and --no-index exclude each other");
  }

  const auto start = std::chrono::steady_clock::now();
  SampleSummary summary = MakeSampleFolder(args.positional[0], options);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  context.out << std::left << std::setw(8) << "table" << std::right << std::setw(10) << "records"
              << std::setw(9) << "deleted"
              << "  index file\n";
  for (const SampleTableSummary& table : summary.tables) {
    context.out << std::left << std::setw(8) << table.base_name << std::right << std::setw(10)
                << table.records << std::setw(9) << table.deleted << "  " << table.index_state
                << "\n";
  }
  context.out << args.positional[0] << ": sample made in " << std::fixed << std::setprecision(2)
              << seconds << " s\n";
  return kExitOk;
}

}  // namespace kx::kxdata
