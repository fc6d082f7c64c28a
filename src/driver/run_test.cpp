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

TEST(Run, WritesStyleSheetFirstAndIndexLastAndAFailedStyleSheetIsOnlyAGap) {
  fake_file_system files;
  files.add_directory("r");
  files.add_file("r/f", 5);
  files.add_directory("r/a");
  EXPECT_EQ(fake_run(files, kExitSuccess), "");
  // Six pages of the root, four where links and devices are not known, then
  // the summary.
  ASSERT_EQ(files.written_order.size(), platform_has_links_and_devices() ? 9u : 7u);
  EXPECT_EQ(files.written_order.front(), "out/styles.css");
  EXPECT_EQ(files.written_order.end()[-2], "out/summary.txt");
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

// A comparison that cannot be made publishes nothing; one with a summary of
// other options or of another root is made and says so.
TEST(Run, AComparisonIsReadBeforeAnythingIsWritten) {
  fake_file_system files;
  files.add_directory("r");
  EXPECT_EQ(fake_run(files, kExitFailure, {"-v", "-v", "-v", "--compare", "old"}),
            "Vergleich mit old nicht moeglich: No such file or directory\r\n");
  files.inputs["old"] = {"#quern-summary 1\n"};
  EXPECT_EQ(fake_run(files, kExitFailure, {"--compare", "old"}),
            "Vergleich mit old nicht moeglich, Zeile 1: Schlusszeile fehlt\r\n");
  EXPECT_TRUE(files.written.empty());

  files.inputs["old"] = {
      "#quern-summary 1\n#root\tother\\x23\n#begun\t2026-12-07T09:16:31Z\n#source\tscan\n"
      "#options\t-x\n#scope\tfull\n"
      "path\tbytes\town_bytes\tfiles\town_files\tsubdirs\town_subdirs\tlinks\town_links\t"
      "others\town_others\tgaps\tlisted\n"
      ".\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t1\n#end\t1\n"};
  EXPECT_EQ(fake_run(files, kExitSuccess, {"--compare", "old", "--depth", "2"}),
            "Vergleich mit old: andere Optionen (vorher \"-x\", jetzt \"\")\r\n"
            "Vergleich mit old: andere Wurzel (vorher \"other\\x23\", jetzt \"r\")\r\n");
  EXPECT_NE(files.written.at("out/index.html").find("seit dem Bericht vom 2026-12-07T09:16:31Z"), std::string::npos);

  // Caps compare by what they stand for, not as they were spelled.
  std::string& text = files.inputs["old"].bytes;
  const auto replace = [&text](std::string_view from, std::string_view to) {
    text.replace(text.find(from), from.size(), to);
  };
  replace("-x\n#scope\tfull", "--depth 01 --min-size 1K\n#scope\treport");
  replace("other\\x23", "r");
  EXPECT_EQ(fake_run(files, kExitSuccess, {"--compare", "old", "--depth", "1", "--min-size", "1024"}), "");
  EXPECT_EQ(fake_run(files, kExitSuccess, {"--compare", "old", "--depth", "1", "--min-size", "1025"}),
            "Vergleich mit old: andere Optionen (vorher \"--depth 01 --min-size 1K\", jetzt \"--depth 1 --min-size "
            "1025\")\r\n");
  replace("--depth 01 --min-size 1K", "");
  EXPECT_EQ(fake_run(files, kExitSuccess, {"--compare", "old", "--min-size", "0"}), "");
  EXPECT_TRUE(files.written.contains("out/d1_sg.html"));
  EXPECT_NE(files.written.at("out/styles.css").find("\r\ntr.new {"), std::string::npos);
}

}  // namespace
}  // namespace quern
