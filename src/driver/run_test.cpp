#include "driver/run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "tree/fake_file_system.h"

namespace quern {
namespace {

// Runs with the fake file system and returns what was said.
std::string fake_run(fake_file_system& files, int expected_exit_status) {
  const char* arguments[] = {"quern", "-o", "out", "-r", "r"};
  std::FILE* said = std::tmpfile();
  EXPECT_EQ(run(5, arguments, files, -1, ::fileno(said)), expected_exit_status);
  std::rewind(said);
  std::string text(4096, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), said));
  std::fclose(said);
  return text;
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
