#include "report/page_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include "tree/fake_file_system.h"

namespace quern {
namespace {

TEST(PageFrame, StylesheetIsWrittenWholeOrItsFailureReported) {
  const std::string_view css = stylesheet_text();
  EXPECT_EQ(css.size(), 5023u);
  EXPECT_EQ(std::count(css.begin(), css.end(), '\n'), 41);
  size_t line_ends = 0;
  for (size_t at = css.find("\r\n"); at != std::string_view::npos; at = css.find("\r\n", at + 2)) ++line_ends;
  EXPECT_EQ(line_ends, 41u);
  EXPECT_TRUE(css.ends_with("a:focus { text-decoration: none; color:#ffff00; background-color:#000000; }\r\n"));

  settings config;
  config.outputdirectory = "out/";
  for (auto fail : {&fake_file_system::fail_write, &fake_file_system::fail_close}) {
    diagnostics diag(3, -1);
    fake_file_system files;
    output_stylesheet({config, diag, files});
    EXPECT_EQ(files.written_files().at("out//styles.css"), css);
    (files.*fail)("out//styles.css", ENOSPC);
    output_stylesheet({config, diag, files});
    EXPECT_EQ(diag.collected(),
              "*** try to create stylesheet out//styles.css\r\n"
              "*** try to create stylesheet out//styles.css\r\n"
              "Konnte Stylesheet nicht erstellen: No space left on device\n");
    EXPECT_EQ(diag.failures(), 1);
  }
}

}  // namespace
}  // namespace quern
