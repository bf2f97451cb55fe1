#include "engine/format.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/error_codes.h"

namespace kx::engine {
namespace {

Field MakeField(FieldType type, uint32_t length = 0, uint16_t decimals = 0) {
  FieldDef def{"F", type, length, decimals};
  return LayOutFields({def})[0];
}

TEST(Crc32Test, KnownValueAndChaining) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  // Computing in pieces gives the same result as in one go (pieces cross the 8-byte steps).
  const std::string text = "The quick brown fox jumps over the lazy dog";
  uint32_t whole = Crc32(text.data(), text.size());
  uint32_t parts = Crc32(text.data() + 11, text.size() - 11, Crc32(text.data(), 11));
  EXPECT_EQ(whole, parts);
}

// The checksum bit by bit, as the polynomial defines it.
uint32_t BitwiseCrc(const std::string& data, uint32_t crc) {
  crc = ~crc;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

TEST(Crc32Test, EveryLengthAndStartMatchesTheBitwiseSum) {
  // Long buffers take another road than short ones: lengths around each boundary of it,
  // odd starts in memory, and chained sums.
  std::mt19937 random(7);
  std::string buffer(1 << 20, '\0');
  for (char& c : buffer) c = static_cast<char>(random());
  const size_t lengths[] = {0,   1,   15,  16,  63,  64,  65,   127,  128,  129,    143,
                            144, 191, 192, 255, 256, 257, 1000, 4096, 4097, 1 << 20};
  for (size_t length : lengths) {
    for (size_t start : {size_t(0), size_t(3)}) {
      if (start + length > buffer.size()) continue;
      const std::string data = buffer.substr(start, length);
      const uint32_t seed = static_cast<uint32_t>(random());
      EXPECT_EQ(Crc32(data.data(), data.size(), seed), BitwiseCrc(data, seed))
          << length << " bytes from " << start;
    }
  }
}

struct ValueCase {
  FieldType type;
  uint32_t length;
  uint16_t decimals;
  const char* input;
  const char* stored_text;  // ValueText after FormatValue
};

TEST(FieldValueTest, TextRoundTrips) {
  const ValueCase cases[] = {
      {FieldType::kCharacter, 5, 0, "ab", "ab"},
      {FieldType::kCharacter, 5, 0, "abcde", "abcde"},
      {FieldType::kCharacter, 5, 0, "", ""},
      {FieldType::kNumeric, 8, 2, "-12.5", "-12.50"},
      {FieldType::kNumeric, 8, 2, " 3 ", "3.00"},
      {FieldType::kNumeric, 8, 2, "", ""},
      {FieldType::kNumeric, 4, 0, "1234", "1234"},
      {FieldType::kInteger, 0, 0, "-2147483648", "-2147483648"},
      {FieldType::kInteger, 0, 0, "+17", "17"},
      {FieldType::kDouble, 0, 0, "0.1", "0.1"},
      {FieldType::kDouble, 0, 0, "-1e300", "-1e+300"},
      {FieldType::kDate, 0, 0, "2024-02-29", "2024-02-29"},
      {FieldType::kDate, 0, 0, "0001-01-01", "0001-01-01"},
      {FieldType::kDate, 0, 0, "9999-12-31", "9999-12-31"},
      {FieldType::kDate, 0, 0, "", ""},
      {FieldType::kLogical, 0, 0, "yes", "T"},
      {FieldType::kLogical, 0, 0, "f", "F"},
      {FieldType::kLogical, 0, 0, "", ""},
      {FieldType::kTimestamp, 0, 0, "2024-03-01 23:59:59", "2024-03-01 23:59:59"},
      {FieldType::kTimestamp, 0, 0, "2024-03-01T00:00:00.250", "2024-03-01 00:00:00.250"},
      {FieldType::kTimestamp, 0, 0, "", ""},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(std::string(FieldTypeName(c.type)) + " \"" + c.input + "\"");
    Field f = MakeField(c.type, c.length, c.decimals);
    std::string stored(f.length, '\x55');
    FormatValue(f, c.input, stored.data());
    EXPECT_EQ(ValueText(f, stored.data()), c.stored_text);
    EXPECT_EQ(CheckValue(f, stored.data()), "");
  }
}

TEST(FieldValueTest, RefusesValuesThatDoNotFit) {
  const ValueCase cases[] = {
      {FieldType::kCharacter, 3, 0, "abcd", ""},
      {FieldType::kNumeric, 5, 2, "1234", ""},  // "1234.00" needs 7
      {FieldType::kNumeric, 8, 2, "12x", ""},
      {FieldType::kInteger, 0, 0, "2147483648", ""},
      {FieldType::kInteger, 0, 0, "1.5", ""},
      {FieldType::kDouble, 0, 0, "nan", ""},
      {FieldType::kDouble, 0, 0, "1e999", ""},
      {FieldType::kDate, 0, 0, "2023-02-29", ""},
      {FieldType::kDate, 0, 0, "2023-04-31", ""},
      {FieldType::kDate, 0, 0, "2023-1-01", ""},
      {FieldType::kLogical, 0, 0, "maybe", ""},
      {FieldType::kTimestamp, 0, 0, "2024-01-01 24:00:00", ""},
      {FieldType::kTimestamp, 0, 0, "2024-01-01", ""},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(std::string(FieldTypeName(c.type)) + " \"" + c.input + "\"");
    Field f = MakeField(c.type, c.length, c.decimals);
    std::string stored(f.length, ' ');
    try {
      FormatValue(f, c.input, stored.data());
      ADD_FAILURE() << "accepted";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), kErrBadValue);
      EXPECT_NE(e.Message().find("field F"), std::string::npos) << e.Message();
    }
  }
}

// Keys of ascending values must compare ascending byte by byte.
TEST(FieldValueTest, KeysSortLikeValues) {
  struct OrderCase {
    FieldType type;
    uint32_t length;
    std::vector<const char*> ascending;
  };
  const OrderCase cases[] = {
      {FieldType::kCharacter, 4, {"", "A", "AB", "B", "a"}},
      {FieldType::kNumeric, 10, {"", "-100.5", "-2", "-1.25", "0", "0.5", "3", "20", "1000"}},
      {FieldType::kInteger, 0, {"-2147483648", "-70000", "-1", "0", "1", "256", "2147483647"}},
      {FieldType::kDouble, 0, {"-1e300", "-2.5", "-1e-300", "0", "1e-300", "0.75", "1e300"}},
      {FieldType::kDate, 0, {"", "0001-01-01", "1999-12-31", "2000-01-01", "9999-12-31"}},
      {FieldType::kLogical, 0, {"", "F", "T"}},
      {FieldType::kTimestamp,
       0,
       {"", "1970-01-01 00:00:00", "2024-01-01 00:00:00.001", "2024-01-01 12:00:00",
        "2024-01-02 00:00:00"}},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type));
    Field f = MakeField(c.type, c.length, c.type == FieldType::kNumeric ? 2 : 0);
    std::string previous;
    for (const char* text : c.ascending) {
      std::string stored(f.length, ' '), key(KeyWidth(f), '\0');
      FormatValue(f, text, stored.data());
      KeyImage(f, stored.data(), key.data());
      if (!previous.empty() || text != c.ascending.front()) {
        EXPECT_LT(previous, key) << "at " << text;
      }
      previous = key;
    }
  }
}

TEST(FieldValueTest, NegativeZeroAndZeroShareAKey) {
  Field f = MakeField(FieldType::kDouble);
  std::string a(8, 0), b(8, 0), ka(8, 0), kb(8, 0);
  FormatValue(f, "0", a.data());
  FormatValue(f, "-0", b.data());
  KeyImage(f, a.data(), ka.data());
  KeyImage(f, b.data(), kb.data());
  EXPECT_EQ(ka, kb);
}

TEST(LayOutFieldsTest, RefusesBadFieldLists) {
  const std::vector<std::vector<FieldDef>> cases = {
      {},
      {{"", FieldType::kCharacter, 5, 0}},
      {{std::string(kMaxFieldName + 1, 'X'), FieldType::kCharacter, 5, 0}},
      {{"A;B", FieldType::kCharacter, 5, 0}},
      {{"A", FieldType::kCharacter, 0, 0}},
      {{"A", FieldType::kNumeric, 33, 0}},
      {{"A", FieldType::kNumeric, 4, 3}},
      {{"A", FieldType::kInteger, 8, 0}},
      {{"A", FieldType::kCharacter, 5, 0}, {"a", FieldType::kDate, 0, 0}},
      {{"A", static_cast<FieldType>(19), 4, 0}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    try {
      LayOutFields(cases[i]);
      ADD_FAILURE() << "accepted";
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), kErrBadFieldList);
    }
  }
}

TEST(LayOutFieldsTest, LongNamesAndOffsets) {
  auto fields =
      LayOutFields({{"TRANSACTIONNUMBER_WITH_A_NAME_OF_40_CHARS", FieldType::kCharacter, 3, 0},
                    {"B", FieldType::kTimestamp, 0, 0},
                    {"C", FieldType::kLogical, 1, 0}});
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[0].offset, 1u);  // after the deleted mark
  EXPECT_EQ(fields[1].offset, 4u);
  EXPECT_EQ(fields[1].length, 8u);
  EXPECT_EQ(fields[2].offset, 12u);
}

TEST(IndexPathTest, SameFolderAndBaseName) {
  EXPECT_EQ(IndexPathOf("C:\\data\\item.adt"), "C:\\data\\item.adi");
  EXPECT_EQ(IndexPathOf("/d/ITEM.ADT"), "/d/ITEM.ADI");
  EXPECT_EQ(IndexPathOf("/d.x/item"), "/d.x/item.adi");
}

TEST(ExpressionTest, FieldsAndErrors) {
  auto fields = LayOutFields({{"IITEM", FieldType::kCharacter, 10, 0},
                              {"ILOCATION", FieldType::kCharacter, 6, 0},
                              {"IQTY", FieldType::kNumeric, 8, 2}});
  KeySpec layout = ParseExpression(fields, "iitem; ILOCATION;IQTY", "t.adt");
  ASSERT_EQ(layout.fields.size(), 3u);
  EXPECT_EQ(layout.width, 10u + 6u + 8u);
  try {
    ParseExpression(fields, "IITEM;NOSUCH", "t.adt");
    ADD_FAILURE();
  } catch (const EngineError& e) {
    EXPECT_EQ(e.Code(), kErrFieldNotFound);
    EXPECT_NE(e.Message().find("NOSUCH"), std::string::npos) << e.Message();
  }
  for (const char* bad : {"", "IITEM;", ";IITEM", "IITEM;;IQTY"}) {
    SCOPED_TRACE(bad);
    try {
      ParseExpression(fields, bad, "t.adt");
      ADD_FAILURE();
    } catch (const EngineError& e) {
      EXPECT_EQ(e.Code(), kErrBadExpression);
    }
  }
}

}  // namespace
}  // namespace kx::engine
