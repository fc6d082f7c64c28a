#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

namespace quern {
namespace {

TEST(Text, DotsGroupThreeDigitsFromTheRight) {
  const std::pair<int64_t, const char*> cases[] = {{0, "0"},
                                                   {999, "999"},
                                                   {1000, "1.000"},
                                                   {12345, "12.345"},
                                                   {123456, "123.456"},
                                                   {1234567, "1.234.567"},
                                                   {std::numeric_limits<int64_t>::max(), "9.223.372.036.854.775.807"},
                                                   // A sum that wrapped: the sign is no digit to group.
                                                   {-123, "-123"},
                                                   {-123456, "-123.456"},
                                                   {std::numeric_limits<int64_t>::min(), "-9.223.372.036.854.775.808"}};
  for (const auto& [value, expected] : cases) EXPECT_EQ(dotted(value), expected) << value;
}

TEST(Text, EscapesOnlyTheFourMarkupCharacters) {
  std::string out = "kept ";
  append_html_escaped(out, "a&b<c>d\"e'f\xc3\xa4&amp;");
  EXPECT_EQ(out, "kept a&amp;b&lt;c&gt;d&quot;e'f\xc3\xa4&amp;amp;");
}

}  // namespace
}  // namespace quern
