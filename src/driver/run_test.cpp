#include "driver/run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "support/fake_file_system.h"
#include "support/files.h"

namespace quern {
namespace {

// Runs with the fake file system and returns what was said.
std::string fake_run(fake_file_system& files, int expected_exit_status, std::vector<const char*> options = {}) {
  std::vector<const char*> arguments = {"quern"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.insert(arguments.end(), {"-o", "out", "-r", "r"});
  const quern_test::temporary_file said;
  EXPECT_EQ(run(static_cast<int>(arguments.size()), arguments.data(), files, -1, said.descriptor()),
            expected_exit_status);
  return said.text();
}

// A summary of every directory goes to a new file only, made before
// anything else under a temporary name and named once whole; a name taken
// or a directory missing is refused at the start, one that cannot be
// written is a gap, like a page, and the report is written all the same.
TEST(Run, TheFullSummaryIsANewFileNamedOnceWholeAndOneThatFailsIsAGap) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/a");
  files.add_directory("r/a/b");
  EXPECT_EQ(fake_run(files, kExitSuccess, {"--summary", "full", "--no-summary", "--depth", "0"}), "");
  EXPECT_FALSE(files.written.contains("out/summary.txt"));
  EXPECT_FALSE(files.written.contains("full.partial"));
  const std::string& full = files.written.at("full");
  EXPECT_NE(full.find("\n#options\t\n#scope\tfull\n"), std::string::npos);
  EXPECT_TRUE(
      full.ends_with("\na/b\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t1\n"
                     "a\t0\t0\t0\t0\t1\t1\t0\t0\t0\t0\t-\t1\n"
                     ".\t0\t0\t0\t0\t2\t1\t0\t0\t0\t0\t-\t1\n#end\t3\n"));

  files.written.clear();
  EXPECT_EQ(fake_run(files, kExitFailure, {"--summary", "r/a"}),
            "Zusammenfassung \"r/a\" nicht moeglich: File exists\r\n");
  EXPECT_EQ(fake_run(files, kExitFailure, {"--summary", "out/full"}),
            "Zusammenfassung \"out/full\" nicht moeglich: No such file or directory\r\n");
  EXPECT_TRUE(files.written.empty());
  EXPECT_TRUE(files.removed.empty());

  files.fail_output("elsewhere.partial", fake_file_system::stage::close, EIO);
  // Said once the tree is complete, before the pages.
  EXPECT_TRUE(fake_run(files, kExitWithGaps, {"-v", "--summary", "elsewhere"})
                  .starts_with("* scanning root directory\r\nKonnte Zusammenfassung nicht erstellen: Input/output "
                               "error\n* generating HTML files\r\n"));
  EXPECT_EQ(files.removed, std::vector<std::string>{"elsewhere.partial"});
  EXPECT_TRUE(files.written.contains("out/index.html"));
}

}  // namespace
}  // namespace quern
