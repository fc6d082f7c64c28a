#include "driver/run.h"

#include <gtest/gtest.h>

#include "support/fake_file_system.h"
#include "support/files.h"

namespace quern {
namespace {

// Runs with the fake file system and returns what was said.
std::string fake_run(fake_file_system& files, int expected_exit_status) {
  const char* arguments[] = {"quern", "-o", "out", "-r", "r"};
  const quern_test::temporary_file said;
  EXPECT_EQ(run(5, arguments, files, -1, said.descriptor()), expected_exit_status);
  return said.text();
}

TEST(Run, WritesStyleSheetFirstAndIndexLastAndAFailedStyleSheetIsOnlyAGap) {
  fake_file_system files;
  files.add_directory("r");
  files.add_file("r/f", 5);
  files.add_directory("r/a");
  EXPECT_EQ(fake_run(files, kExitSuccess), "");
  // Six pages of the root, four where links and devices are not known.
  ASSERT_EQ(files.written_order.size(), platform_has_links_and_devices() ? 8u : 6u);
  EXPECT_EQ(files.written_order.front(), "out/styles.css");
  EXPECT_EQ(files.written_order.back(), "out/index.html");

  files.written.clear();
  files.fail_output("out/styles.css", fake_file_system::stage::create, ENOSPC);
  EXPECT_EQ(fake_run(files, kExitWithGaps), "Konnte Stylesheet nicht erstellen: No space left on device\n");
  EXPECT_NE(files.written.at("out/index.html").find("<td class=\"tdbytes\">5</td>"), std::string::npos);
}

}  // namespace
}  // namespace quern
