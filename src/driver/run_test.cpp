#include "driver/run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "tree/fake_file_system.h"

namespace quern {
namespace {

// Runs with the fake file system; what is said lands in a temporary file.
struct fake_run {
  fake_run(fake_file_system& files, std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "quern");
    std::FILE* said = std::tmpfile();
    exit_status = run(static_cast<int>(arguments.size()), arguments.data(), files, ::fileno(said));
    std::rewind(said);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, said)) > 0) standard_error.append(buffer, n);
    std::fclose(said);
  }
  int exit_status;
  std::string standard_error;
};

void add_small_tree(fake_file_system& files) {
  files.add_directory("r");
  files.add_file("r/f", 5);
  files.add_directory("r/a");
}

TEST(Run, CleanRunWritesStyleSheetPagesAndIndexAndSucceeds) {
  fake_file_system files;
  add_small_tree(files);
  const fake_run result(files, {"-o", "out", "-r", "r"});
  EXPECT_EQ(result.exit_status, kExitSuccess);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(files.made_directories(), std::vector<std::string>{"out"});
  const std::vector<std::string> order = files.written_file_order();
  ASSERT_EQ(order.size(), 8u);
  EXPECT_EQ(order.front(), "out/styles.css");
  EXPECT_EQ(order.back(), "out/index.html");
}

TEST(Run, FailedStyleSheetIsAGapButDoesNotSpoilTheScan) {
  fake_file_system files;
  add_small_tree(files);
  files.fail_create_file("out/styles.css", ENOSPC);
  const fake_run result(files, {"-o", "out", "-r", "r"});
  EXPECT_EQ(result.standard_error, "Konnte Stylesheet nicht erstellen: No space left on device\n");
  EXPECT_EQ(result.exit_status, kExitWithGaps);
  EXPECT_NE(files.written_files().at("out/index.html").find("<td class=\"tdbytes\">5</td>"), std::string::npos);
}

TEST(Run, UncreatableOutputDirectoryEndsTheRunBeforeAnythingIsRead) {
  fake_file_system files;
  add_small_tree(files);
  files.fail_make_directory(EEXIST);
  const fake_run result(files, {"-v", "-v", "-o", "out", "-r", "r"});
  EXPECT_EQ(result.standard_error, "Erstellen des Outpudirectorys nicht moeglich: File exists\n");
  EXPECT_EQ(result.exit_status, kExitFailure);
  EXPECT_TRUE(files.written_files().empty());
}

TEST(Run, CommandLineMistakesFailAndHelpSucceeds) {
  fake_file_system files;
  add_small_tree(files);
  EXPECT_EQ(fake_run(files, {"-r", "r"}).exit_status, kExitFailure);
  EXPECT_EQ(fake_run(files, {"-o", "out", "-r", "r", "-x"}).exit_status, kExitFailure);
  EXPECT_EQ(fake_run(files, {"-h", "-x"}).exit_status, kExitSuccess);
  EXPECT_TRUE(files.made_directories().empty());
}

}  // namespace
}  // namespace quern
