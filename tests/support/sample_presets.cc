#include "tests/support/sample_presets.h"

#include "tools/kxdata/sample_folder.h"

namespace kx::testing {

void MakeSample(const std::string& dir, SamplePreset preset) {
  kxdata::SampleOptions options;
  if (preset == SamplePreset::kSmall) {
    options.items = 200;
    options.trans = 1000;
    options.customers = 20;
    options.vendors = 5;
    options.locations = 2;
  } else if (preset == SamplePreset::kMedium) {
    options.items = 300;
    options.trans = 3000;
    options.customers = 40;
    options.vendors = 10;
    options.locations = 3;
  } else {
    options.items = 12;
    options.trans = 20;
    options.customers = 4;
    options.vendors = 3;
    options.locations = 2;
    options.deleted_percent = 15;
    options.intact = preset == SamplePreset::kTiny;
    options.no_index = preset == SamplePreset::kTinyWithoutIndex;
  }
  kxdata::MakeSampleFolder(dir, options);
}

const char* SamplePresetName(SamplePreset preset) {
  switch (preset) {
    case SamplePreset::kTiny:
      return "tiny";
    case SamplePreset::kTinyAsFound:
      return "tiny as found";
    case SamplePreset::kTinyWithoutIndex:
      return "tiny without index files";
    case SamplePreset::kMedium:
      return "medium";
    case SamplePreset::kSmall:
      break;
  }
  return "small";
}

}  // namespace kx::testing
