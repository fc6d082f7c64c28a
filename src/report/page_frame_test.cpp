#include "report/page_frame.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>

#include "support/fake_file_system.h"

namespace quern {
namespace {

TEST(PageFrame, StylesheetIsWrittenWholeOrItsFailureReported) {
  // An FNV-1a digest of the exact text: no byte can change unnoticed.
  const std::string_view css = stylesheet_text();
  uint64_t digest = 0xcbf29ce484222325;
  for (unsigned char c : css) digest = (digest ^ c) * 0x100000001b3;
  EXPECT_EQ(digest, 0x16e690fca7932e85u);

  // Failures of pages, which write the same way, are tested with them.
  report_options config;
  config.outputdirectory = "out/";
  diagnostics diag(verbosity::operations, -1);
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
