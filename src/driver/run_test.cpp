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

// Whether a listing names owners is known before anything is made: asked
// for owners that it lacks, the run ends as a mistake on the command line.
TEST(Run, OwnersFromAListingMustBeInItsFirstRecordAndThenTheIndexShowsThem) {
  fake_file_system files;
  files.inputs["plain"] = {.bytes = std::string("d 0 r\0f 5 r/f\0", 14)};
  files.inputs["owned"] = {.bytes = std::string("d 0 0 r\0f 5 alice r/f\0", 22)};
  const auto run_listing = [&files](const char* listing, int expected_exit_status) {
    const char* arguments[] = {"quern", "--owners", "--listing", listing, "-o", "out", "-r", "r"};
    const quern_test::temporary_file said;
    EXPECT_EQ(run(8, arguments, files, -1, said.descriptor()), expected_exit_status) << listing;
    return said.text();
  };
  EXPECT_EQ(run_listing("plain", kExitFailure),
            "quern [-h] [-v]... [-n{s|d}{s|c|f|y|d}]... -o <dir> -r <root>\r\nQuern Version 0.0.9\r\n"
            "Option \"--owners\" nur mit Eigentuemern in der Listendatei moeglich\r\n");
  EXPECT_TRUE(files.written.empty());
  EXPECT_EQ(run_listing("owned", kExitSuccess), "");
  EXPECT_NE(files.written.at("out/index.html").find("<td class=\"tdownername\">alice</td>"), std::string::npos);
}

}  // namespace
}  // namespace quern
