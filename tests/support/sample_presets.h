// Sample data folders of the sizes and states the tests use, made with the data tool's
// generator: one name for each, instead of options repeated in every test.
#pragma once

#include <string>

namespace kx::testing {

enum class SamplePreset {
  kTiny,              // a few records per table (15 % deleted), every tag intact
  kTinyAsFound,       // the same sizes, index files stale, missing or damaged as in the field
  kTinyWithoutIndex,  // the same sizes, no index files at all
  kSmall,             // a few thousand records, index files as in the field
  kMedium,            // some ten thousand records: a run long enough to watch its progress
};

// Makes the sample in `dir` (created when absent).
void MakeSample(const std::string& dir, SamplePreset preset);

// "tiny", "tiny as found", ...: for the tests' messages.
const char* SamplePresetName(SamplePreset preset);

}  // namespace kx::testing
