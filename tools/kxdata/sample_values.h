// Generators of plausible inventory values for sample data folders: item codes, product
// descriptions, bar codes, names, dates, quantities and prices.
//
// Everything is drawn from SampleRandom, a small generator with a fixed algorithm, so that a
// seed gives the same folder on every platform and compiler.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kx::kxdata {

class SampleRandom {
 public:
  explicit SampleRandom(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next();
  // A whole number in [0, bound); bound must not be 0.
  std::uint32_t Below(std::uint32_t bound);
  // A whole number in [low, high].
  std::int64_t Between(std::int64_t low, std::int64_t high);
  // True with the given chance in percent.
  bool Percent(double chance);
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(static_cast<std::uint32_t>(N))];
  }

 private:
  std::uint64_t state_;
};

// A calendar date; days are counted from 1970-01-01.
struct SampleDate {
  int year;
  int month;
  int day;
};
std::int64_t DaysFromCivil(const SampleDate& date);
SampleDate CivilFromDays(std::int64_t days);
// "YYYY-MM-DD".
std::string FormatDate(const SampleDate& date);

// Fixed vocabularies of the sample inventory.
std::string_view ItemTypeName(std::size_t index);  // "HARDWARE", "PLUMBING", ...
std::size_t ItemTypeCount();
std::string_view ItemTypeDescription(std::size_t index);
std::string_view UnitName(std::size_t index);  // "EA", "BX", ...
std::string_view UnitDescription(std::size_t index);
std::size_t UnitCount();
std::string_view TransactionCode(std::size_t index);  // "RC", "SL", ...
std::size_t TransactionCodeCount();

// An item code such as "PLB-004217": the type's prefix and a serial number.
std::string ItemCode(std::size_t type_index, std::uint32_t serial);
// A product description such as "COPPER ELBOW 3/4 IN 90 DEG", at most `width` characters.
std::string ItemDescription(SampleRandom& random, std::size_t type_index, std::size_t width);
// A 12-digit UPC-A code with a correct check digit.
std::string UpcCode(SampleRandom& random);
// A location code: "MAIN", "WH01", ... for index 0, 1, ...
std::string LocationCode(std::size_t index);
std::string LocationDescription(std::size_t index);
// A business name such as "Northgate Plumbing Supply".
std::string CompanyName(SampleRandom& random);
std::string StreetAddress(SampleRandom& random);
std::string CityName(SampleRandom& random);
std::string PhoneNumber(SampleRandom& random);
// A fixed-point value with `decimals` places (0 to 6), drawn between low and high.
std::string Amount(SampleRandom& random, double low, double high, int decimals);
// `units` divided by 10^decimals, written with exactly `decimals` places ("-12.50").
std::string FixedPoint(std::int64_t units, int decimals);

}  // namespace kx::kxdata
