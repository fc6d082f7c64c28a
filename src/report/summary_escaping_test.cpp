#include "report/summary_escaping.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace quern {
namespace {

std::string escaped(std::string_view text) {
  std::string out;
  append_summary_escaped(out, text);
  return out;
}

TEST(SummaryEscaping, OnlyPrintableAsciiAndValidUtf8StandAsTheyAre) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain name ~!$%&'()*+,-./:;<=>?@[]^_`{|}", "plain name ~!$%&'()*+,-./:;<=>?@[]^_`{|}"},
      {"back\\slash", "back\\\\slash"},
      {"tab\tnew\nline\rreturn", "tab\\tnew\\nline\\rreturn"},
      {std::string("\x01\x1f\x7f#", 4), "\\x01\\x1f\\x7f\\x23"},
      {std::string("nul\0byte", 8), "nul\\x00byte"},
      // Two, three and four bytes, the smallest and largest of each length.
      {"\xc2\x80\xdf\xbf \xe0\xa0\x80\xef\xbf\xbf \xf0\x90\x80\x80\xf4\x8f\xbf\xbf",
       "\xc2\x80\xdf\xbf \xe0\xa0\x80\xef\xbf\xbf \xf0\x90\x80\x80\xf4\x8f\xbf\xbf"},
      // A continuation without its lead, overlong forms, a surrogate, beyond
      // U+10FFFF, a sequence cut short and bytes that never occur.
      {"\x80", "\\x80"},
      {"\xc0\xaf\xc1\xbf", "\\xc0\\xaf\\xc1\\xbf"},
      {"\xe0\x9f\xbf", "\\xe0\\x9f\\xbf"},
      {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"\xe2\x82", "\\xe2\\x82"},
      {"\xe2\x82\xac\xe2\x82", "\xe2\x82\xac\\xe2\\x82"},
      {"\xfe\xff", "\\xfe\\xff"},
      {"\xc3\xa4\xc3", "\xc3\xa4\\xc3"},
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(escaped(name), expected) << expected;
    std::string back;
    EXPECT_TRUE(summary_unescaped(expected, back)) << expected;
    EXPECT_EQ(back, name) << expected;
  }
}

// Each name has one spelling, so that escaped paths compare as they are.
TEST(SummaryEscaping, OnlyTheOneSpellingOfANameIsTaken) {
  std::string back;
  for (const char* other : {"\\x41", "\\xc3\\xa4", "\\X01", "\\x1F", "\\x1", "\\x", "\\q", "\\", "a\\", "\\x5c",
                            "\\x09", "tab\there", "new\nline", "#", "\x7f", "\xff", "\\0", "\\a"}) {
    EXPECT_FALSE(summary_unescaped(other, back)) << other;
  }
}

// In a treemap a name must parse as XML and show as many characters as
// the room it was given assumes.
TEST(XmlEscaping, WhatXmlCannotCarryIsWrittenAsTheSummaryWritesIt) {
  const struct {
    std::string name;
    std::string expected;
    size_t shown;
  } cases[] = {
      {"<a&b>\"c'", "&lt;a&amp;b&gt;&quot;c&apos;", 8},
      {"tab\tnew\nline\rreturn", "tab&#9;new&#10;line&#13;return", 19},
      {"back\\slash", "back\\\\slash", 11},
      {std::string("\x01\x7f\0", 3), "\\x01\\x7f\\x00", 12},
      {"\xc3\xa4\xef\xbf\xbd", "\xc3\xa4\xef\xbf\xbd", 2},
      {"\xef\xbf\xbe\xef\xbf\xbf", "\\xef\\xbf\\xbe\\xef\\xbf\\xbf", 24},
      {"\xff", "\\xff", 4},
  };
  for (const auto& [name, expected, shown] : cases) {
    std::string out;
    EXPECT_EQ(append_xml_escaped(out, name), shown) << expected;
    EXPECT_EQ(out, expected);
  }
}

}  // namespace
}  // namespace quern
