#include "tools/kxdata/sample_values.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iterator>

namespace kx::kxdata {

namespace {

struct TypeEntry {
  const char* name;
  const char* prefix;
  const char* description;
  const char* nouns[8];
};

const TypeEntry kTypes[] = {
    {"HARDWARE",
     "HDW",
     "General hardware",
     {"HINGE", "HASP", "HOOK", "BRACKET", "CHAIN", "CABLE", "LATCH", "PULL"}},
    {"PLUMBING",
     "PLB",
     "Plumbing supplies",
     {"ELBOW", "TEE", "COUPLING", "VALVE", "NIPPLE", "BUSHING", "TRAP", "UNION"}},
    {"ELECTRIC",
     "ELE",
     "Electrical",
     {"SWITCH", "OUTLET", "WIRE", "BREAKER", "CONDUIT", "BOX", "PLATE", "CONNECTOR"}},
    {"PAINT",
     "PNT",
     "Paint and sundries",
     {"PRIMER", "ENAMEL", "STAIN", "ROLLER", "BRUSH", "TRAY", "CAULK", "THINNER"}},
    {"LUMBER",
     "LUM",
     "Lumber and sheet goods",
     {"STUD", "BOARD", "PLYWOOD", "MOULDING", "DOWEL", "FURRING", "POST", "LATTICE"}},
    {"TOOLS",
     "TOL",
     "Hand and power tools",
     {"HAMMER", "WRENCH", "PLIERS", "SAW", "DRILL", "CHISEL", "LEVEL", "SCREWDRIVER"}},
    {"GARDEN",
     "GRD",
     "Lawn and garden",
     {"HOSE", "RAKE", "SHOVEL", "SPRINKLER", "PLANTER", "MULCH", "SEED", "TRIMMER"}},
    {"FASTENER",
     "FST",
     "Fasteners",
     {"BOLT", "NUT", "WASHER", "SCREW", "ANCHOR", "RIVET", "NAIL", "STAPLE"}},
    {"SAFETY",
     "SAF",
     "Safety equipment",
     {"GLOVES", "GLASSES", "MASK", "EARPLUGS", "VEST", "HELMET", "RESPIRATOR", "KNEEPADS"}},
    {"JANITOR",
     "JAN",
     "Janitorial",
     {"MOP", "BROOM", "BUCKET", "CLEANER", "TOWEL", "LINER", "SPONGE", "DUSTPAN"}},
};

const char* const kMaterials[] = {"ZINC",   "BRASS", "STEEL", "COPPER", "PVC",  "NYLON",
                                  "CHROME", "OAK",   "PINE",  "VINYL",  "ALUM", "BLACK"};
const char* const kSizes[] = {"1/4 IN", "3/8 IN", "1/2 IN", "3/4 IN", "1 IN", "2 IN",
                              "6 FT",   "8 FT",   "12 IN",  "1 GAL",  "1 QT", "#10",
                              "M6",     "M8",     "LARGE",  "SMALL"};
const char* const kQualifiers[] = {"HD", "PRO", "STD", "2PK", "10PK", "BULK", "", "", ""};

struct UnitEntry {
  const char* name;
  const char* description;
};
const UnitEntry kUnits[] = {{"EA", "Each"},    {"BX", "Box"},     {"CS", "Case"},
                            {"FT", "Foot"},    {"LB", "Pound"},   {"GAL", "Gallon"},
                            {"PR", "Pair"},    {"DZ", "Dozen"},   {"RL", "Roll"},
                            {"PK", "Package"}, {"BDL", "Bundle"}, {"SHT", "Sheet"}};

const char* const kTransactionCodes[] = {"SL", "SL", "SL", "RC", "RC", "AJ", "TR", "RT", "PC"};

const char* const kLocations[] = {"MAIN",   "WH01",   "WH02", "STORE1",  "STORE2",
                                  "TRUCK1", "TRUCK2", "YARD", "RETURNS", "SHOWROOM"};
const char* const kLocationDescriptions[] = {
    "Main warehouse",   "North warehouse",  "South warehouse", "Downtown store",  "Westside store",
    "Delivery truck 1", "Delivery truck 2", "Lumber yard",     "Returns and RMA", "Showroom floor"};

const char* const kNameFirst[] = {"Northgate", "Harbor",   "Summit",   "Riverside", "Oakridge",
                                  "Pioneer",   "Granite",  "Lakeview", "Redwood",   "Keystone",
                                  "Prairie",   "Cedar",    "Ironwood", "Bayside",   "Hillcrest",
                                  "Maple",     "Sterling", "Frontier", "Valley",    "Coastal"};
const char* const kNameTrade[] = {
    "Plumbing", "Builders",     "Electric",   "Hardware",    "Contracting",       "Roofing",
    "Supply",   "Construction", "Mechanical", "Landscaping", "Property Services", "Paint"};
const char* const kNameSuffix[] = {"Inc",   "LLC",     "Co",  "Supply", "& Sons",
                                   "Group", "Company", "Ltd", "",       ""};
const char* const kStreets[] = {"Main St",    "Oak Ave",   "Industrial Pkwy", "Commerce Dr",
                                "Elm St",     "Route 9",   "Harbor Rd",       "Mill St",
                                "Station Rd", "Lake Blvd", "Depot St",        "Market St"};
const char* const kCities[] = {"Springfield", "Riverton", "Fairview", "Greenville", "Milford",
                               "Franklin",    "Clinton",  "Ashland",  "Salem",      "Dover"};

std::string Join(std::initializer_list<std::string_view> words) {
  std::string text;
  for (std::string_view word : words) {
    if (word.empty()) continue;
    if (!text.empty()) text.push_back(' ');
    text.append(word);
  }
  return text;
}

}  // namespace

std::uint64_t SampleRandom::Next() {
  // splitmix64: fast, and the same sequence everywhere.
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint32_t SampleRandom::Below(std::uint32_t bound) {
  return static_cast<std::uint32_t>(((Next() >> 32) * bound) >> 32);
}

std::int64_t SampleRandom::Between(std::int64_t low, std::int64_t high) {
  return low + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(high - low + 1));
}

bool SampleRandom::Percent(double chance) {
  return static_cast<double>(Next() >> 11) * (100.0 / 9007199254740992.0) < chance;
}

std::int64_t DaysFromCivil(const SampleDate& date) {
  // Howard Hinnant's days_from_civil.
  int y = date.year - (date.month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned mp = static_cast<unsigned>(date.month + (date.month > 2 ? -3 : 9));
  const unsigned doy = (153 * mp + 2) / 5 + static_cast<unsigned>(date.day) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

SampleDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const auto y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
  return {y, static_cast<int>(m), static_cast<int>(d)};
}

std::string FormatDate(const SampleDate& date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

std::string_view ItemTypeName(std::size_t index) { return kTypes[index].name; }
std::size_t ItemTypeCount() { return std::size(kTypes); }
std::string_view ItemTypeDescription(std::size_t index) { return kTypes[index].description; }
std::string_view UnitName(std::size_t index) { return kUnits[index].name; }
std::string_view UnitDescription(std::size_t index) { return kUnits[index].description; }
std::size_t UnitCount() { return std::size(kUnits); }
std::string_view TransactionCode(std::size_t index) { return kTransactionCodes[index]; }
std::size_t TransactionCodeCount() { return std::size(kTransactionCodes); }

std::string ItemCode(std::size_t type_index, std::uint32_t serial) {
  char text[32];
  std::snprintf(text, sizeof text, "%s-%06u", kTypes[type_index].prefix, serial);
  return text;
}

std::string ItemDescription(SampleRandom& random, std::size_t type_index, std::size_t width) {
  const TypeEntry& type = kTypes[type_index];
  std::string text = Join({random.Pick(kMaterials), type.nouns[random.Below(8)],
                           random.Pick(kSizes), random.Pick(kQualifiers)});
  if (text.size() > width) text.resize(width);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string UpcCode(SampleRandom& random) {
  char digits[13];
  int sum = 0;
  for (int i = 0; i < 11; ++i) {
    int digit = i == 0 ? static_cast<int>(random.Below(9)) : static_cast<int>(random.Below(10));
    digits[i] = static_cast<char>('0' + digit);
    sum += (i % 2 == 0) ? 3 * digit : digit;
  }
  digits[11] = static_cast<char>('0' + (10 - sum % 10) % 10);
  digits[12] = '\0';
  return digits;
}

std::string LocationCode(std::size_t index) {
  if (index < std::size(kLocations)) return kLocations[index];
  char text[32];  // room for any size_t, so nothing is ever cut
  std::snprintf(text, sizeof text, "BIN%03zu", index);
  return text;
}

std::string LocationDescription(std::size_t index) {
  if (index < std::size(kLocationDescriptions)) return kLocationDescriptions[index];
  return "Storage bin " + std::to_string(index);
}

std::string CompanyName(SampleRandom& random) {
  return Join({random.Pick(kNameFirst), random.Pick(kNameTrade), random.Pick(kNameSuffix)});
}

std::string StreetAddress(SampleRandom& random) {
  return std::to_string(random.Between(10, 9899)) + " " + random.Pick(kStreets);
}

std::string CityName(SampleRandom& random) { return random.Pick(kCities); }

std::string PhoneNumber(SampleRandom& random) {
  char text[24];
  std::snprintf(text, sizeof text, "(%03d) %03d-%04d", static_cast<int>(random.Between(201, 989)),
                static_cast<int>(random.Between(200, 999)),
                static_cast<int>(random.Between(0, 9999)));
  return text;
}

std::string Amount(SampleRandom& random, double low, double high, int decimals) {
  static constexpr double kScales[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  const double scale = kScales[decimals];
  return FixedPoint(random.Between(std::llround(low * scale), std::llround(high * scale)),
                    decimals);
}

std::string FixedPoint(std::int64_t units, int decimals) {
  // Integer arithmetic only: the same text on every platform, and fast.
  const bool negative = units < 0;
  std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
  char digits[32];
  int length = 0;
  do {
    digits[length++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude > 0 || length <= decimals);
  std::string text;
  text.reserve(static_cast<std::size_t>(length) + 2);
  if (negative) text.push_back('-');
  for (int i = length - 1; i >= 0; --i) {
    text.push_back(digits[i]);
    if (i == decimals && decimals > 0) text.push_back('.');
  }
  return text;
}

}  // namespace kx::kxdata
