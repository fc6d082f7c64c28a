#include "base/wide_text.h"

#include <gtest/gtest.h>

namespace quern {
namespace {

// UTF-16 units spelled one by one, so that the test reads the same where
// wchar_t is wider than 16 bits.
std::wstring units(std::initializer_list<unsigned> values) {
  std::wstring text;
  for (unsigned value : values) text.push_back(static_cast<wchar_t>(value));
  return text;
}

TEST(WideText, NamesOfEveryScriptAndLoneSurrogatesSurviveTheRoundTrip) {
  const std::pair<std::wstring, std::string> cases[] = {
      {units({'a', '/', '~'}), "a/~"},
      {units({0x3A9, 0x3BC, 0x3AD}), "\xCE\xA9\xCE\xBC\xCE\xAD"},  // Greek
      {units({0x65E5, 0x672C}), "\xE6\x97\xA5\xE6\x9C\xAC"},       // Japanese
      {units({0xD83D, 0xDE00, 'x'}), "\xF0\x9F\x98\x80x"},         // a pair: one code point
      {units({'a', 0xD800, 'b'}),
       "a\xED\xA0\x80"
       "b"},                              // lone high surrogate
      {units({0xDC00}), "\xED\xB0\x80"},  // lone low surrogate
      {units({0xDBFF}), "\xED\xAF\xBF"},  // high surrogate at the end
      {units({0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}), "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {units({0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF"},  // U+10FFFF
      {units({}), ""}};
  for (const auto& [wide, utf8] : cases) {
    EXPECT_EQ(narrow(wide), utf8);
    EXPECT_EQ(widen(utf8), wide) << utf8;
  }
}

TEST(WideText, BytesThatAreNotUtf8BecomeOneReplacementEach) {
  const unsigned r = 0xFFFD;
  const std::pair<std::string, std::wstring> cases[] = {
      {"\xFF"
       "a",
       units({r, 'a'})},
      {"\xC0\xAF", units({r, r})},                // overlong "/"
      {"\xE0\x80\xAF", units({r, r, r})},         // overlong three-byte form
      {"\xE6\x97", units({r, r})},                // cut short at the end
      {"\xE6\x97x", units({r, r, 'x'})},          // cut short before a plain byte
      {"\xF4\x90\x80\x80", units({r, r, r, r})},  // beyond U+10FFFF
      {"\x80", units({r})}};
  for (const auto& [bytes, wide] : cases) EXPECT_EQ(widen(bytes), wide) << bytes;
}

}  // namespace
}  // namespace quern
