#include "base/byte_total.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/text.h"

namespace quern {
namespace {

constexpr uint64_t kLargestEntry = INT64_MAX;

std::string decimal(const byte_total& value) {
  std::string text;
  append_decimal(text, value);
  return text;
}

TEST(ByteTotal, SumsOfTheLargestEntriesStayExactBeyondSixtyFourBits) {
  byte_total sum;
  for (int i = 0; i < 3; ++i) sum.add(kLargestEntry);
  EXPECT_EQ(decimal(sum), "27670116110564327421");
  EXPECT_EQ(dotted(sum), "27.670.116.110.564.327.421");

  byte_total tree;
  tree.add(sum);
  tree += sum;
  EXPECT_EQ(decimal(tree), "55340232221128654842");
  EXPECT_EQ(decimal(byte_total::from_words(~uint64_t{0}, ~uint64_t{0})), "340282366920938463463374607431768211455");
  EXPECT_EQ(decimal(byte_total()), "0");
}

TEST(ByteTotal, OrderComparesTheHighWordFirst) {
  const byte_total small(~uint64_t{0});
  const byte_total large = byte_total::from_words(1, 0);
  EXPECT_LT(small, large);
  EXPECT_GT(large, small);
  EXPECT_EQ(small + byte_total(1), large);
}

TEST(ByteTotal, DecimalFieldsReadBackExactlyAndNothingElseIsAccepted) {
  for (const char* text : {"0", "18446744073709551616", "340282366920938463463374607431768211455"}) {
    byte_total value;
    ASSERT_TRUE(parse_decimal(text, value)) << text;
    EXPECT_EQ(decimal(value), text);
  }
  byte_total untouched;
  for (const char* text : {"", "-1", "1.000", "12a", " 1", "340282366920938463463374607431768211456",
                           "0000000000000000000000000000000000000001"}) {
    EXPECT_FALSE(parse_decimal(text, untouched)) << text;
  }
}

TEST(ByteTotal, ChangesCarryTheirSignAndOrderByValue) {
  const byte_total three(3);
  const byte_total five(5);
  EXPECT_EQ(dotted_change(byte_change::between(three, five)), "+2");
  EXPECT_EQ(dotted_change(byte_change::between(five, three)), "-2");
  EXPECT_EQ(dotted_change(byte_change::between(five, five)), "0");
  EXPECT_EQ(dotted_change(byte_change::between(byte_total(), byte_total::from_words(1, 0))),
            "+18.446.744.073.709.551.616");
  EXPECT_LT(byte_change::between(five, three), byte_change::between(three, three));
  EXPECT_LT(byte_change::between(five, byte_total()), byte_change::between(five, three));
  EXPECT_LT(byte_change::between(three, five), byte_change::between(three, byte_total(9)));
  EXPECT_EQ(dotted_change(byte_change::between(byte_total(1234567), byte_total(0))), "-1.234.567");
}

TEST(ByteTotal, SharesAreTenthsOfAPercentRoundedHalfUpExactlyForAnySum) {
  const byte_total largest = byte_total::from_words(UINT64_MAX, UINT64_MAX);
  const struct {
    byte_total part;
    byte_total whole;
    uint64_t tenths;
  } cases[] = {
      {byte_total(1), byte_total(3), 333},
      {byte_total(2), byte_total(3), 667},
      {byte_total(1), byte_total(2000), 1},  // exactly half a tenth
      {byte_total(1), byte_total(2001), 0},
      {byte_total(1), byte_total(20000), 0},
      {byte_total(1), byte_total(16), 63},
      {byte_total(3), byte_total(16), 188},
      {byte_total(1), byte_total(8), 125},
      {byte_total(9995), byte_total(10000), 1000},
      {byte_total(9994), byte_total(10000), 999},
      {byte_total(0), byte_total(5), 0},
      {byte_total(5), byte_total(5), 1000},
      // Sums where a part times a thousand exceeds 128 bits.
      {byte_total::from_words(uint64_t{1} << 63, 0), largest, 500},
      {byte_total::from_words(uint64_t{3} << 62, 0), largest, 750},
      {byte_total::from_words(UINT64_MAX, UINT64_MAX - 1), largest, 1000},
      {byte_total(1), largest, 0},
      {byte_total::from_words(UINT64_MAX / 2000, 0), largest, 0},
      {byte_total::from_words(UINT64_MAX / 2000 + 1, 0), largest, 1},
  };
  for (const auto& c : cases) {
    std::string part;
    append_decimal(part, c.part);
    EXPECT_EQ(share_in_tenths_of_a_percent(c.part, c.whole), c.tenths) << part;
  }
}

}  // namespace
}  // namespace quern
