#include "report/page_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>

#include "base/text.h"
#include "support/fake_file_system.h"

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

TEST(PageFrame, StylesheetIsWrittenWholeOrItsFailureReported) {
  const std::string_view css = stylesheet_text();
  EXPECT_EQ(css.size(), 5023u);
  EXPECT_EQ(std::count(css.begin(), css.end(), '\n'), 41);
  // An FNV-1a digest of the exact text: no byte can change unnoticed.
  uint64_t digest = 0xcbf29ce484222325;
  for (unsigned char c : css) digest = (digest ^ c) * 0x100000001b3;
  EXPECT_EQ(digest, 0x16e690fca7932e85u);

  // Failures of pages, which write the same way, are tested with them.
  report_options config;
  config.outputdirectory = "out/";
  diagnostics diag(3, -1);
  fake_file_system files;
  output_stylesheet({config, diag, files});
  EXPECT_EQ(files.written.at("out//styles.css"), css);
  files.fail_output("out//styles.css", fake_file_system::stage::close, ENOSPC);
  output_stylesheet({config, diag, files});
  EXPECT_EQ(diag.collected(),
            "*** try to create stylesheet out//styles.css\r\n*** try to create stylesheet out//styles.css\r\n"
            "Konnte Stylesheet nicht erstellen: No space left on device\n");
  EXPECT_EQ(diag.failures(), 1);
  EXPECT_FALSE(files.written.contains("out//styles.css"));
}

}  // namespace
}  // namespace quern
