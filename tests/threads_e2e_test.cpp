#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

#include "quern_process.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

// A tree with every kind of entry, failures of each kind, many equal totals
// and a chain deeper than the descriptor limit below.
void make_mixed_tree(const std::string& root) {
  make_directory(root);
  for (int i = 0; i < 40; ++i) {
    const std::string tie = root + "/tie" + std::to_string(i % 7) + "_" + std::to_string(i);
    make_directory(tie);
    make_file(tie + "/f", i % 3);
    if (i % 4 == 0) make_node(tie + "/fifo", S_IFIFO);
    if (i % 5 == 0) make_symlink("f", tie + "/link");
    if (i % 2 == 0) {
      make_directory(tie + "/sub");
      make_directory(tie + "/sub/leaf");
      make_file(tie + "/sub/leaf/g", 1);
    }
  }
  std::string chain = root + "/chain";
  for (int level = 0; level < 30; ++level) {
    make_directory(chain);
    make_file(chain + "/f", level);
    chain += "/c";
  }
  make_directory(root + "/wide");
  for (int i = 0; i < 150; ++i) make_directory(root + "/wide/w" + std::to_string(i));
  make_node(root + "/sock", S_IFSOCK);
  make_symlink("nowhere", root + "/dangling");
  make_directory(root + "/locked");
  make_file(root + "/locked/hidden", 5);
  ::chmod((root + "/locked").c_str(), 0);
  // Listable but not searchable: every entry fails its status call.
  make_directory(root + "/listable");
  make_file(root + "/listable/a", 1);
  make_directory(root + "/listable/b");
  ::chmod((root + "/listable").c_str(), 0444);
}

// Everything a run produced: its exit status, standard error without the
// elapsed seconds, and every file of the output directory.
std::string outcome(const temporary_directory& scratch, const std::vector<std::string>& options, int descriptor_limit) {
  std::vector<std::string> arguments = options;
  arguments.insert(arguments.end(), {"-o", scratch / "out", "-r", scratch / "root"});
  const run_result result =
      // A run that deadlocks fails here rather than outlast the suite.
      run_quern(
          {.arguments = arguments, .descriptor_limit = descriptor_limit, .unprivileged = true, .timeout_seconds = 300});
  std::string text = "status " + std::to_string(result.exit_status) + "\n" +
                     std::regex_replace(result.standard_error, std::regex("completed in [0-9]+ seconds"), "");
  for (const auto& [name, file] : read_report(scratch / "out")) text += "\n== " + name + "\n" + file;
  std::filesystem::remove_all(scratch / "out");
  return text;
}

// However many threads read ahead and write pages, a run says and writes
// exactly what one thread does, at every level of detail, with caps on
// the pages, and with treemaps, which read the subdirectories of the
// directories below while their own writers sort them.
TEST(ThreadsEndToEnd, ReportAndStandardErrorAreTheSameWhateverTheThreads) {
  temporary_directory scratch;
  make_mixed_tree(scratch / "root");
  // With caps too: subtrees are given back while writers go through the
  // pages of others.
  for (const std::vector<std::string>& level : {std::vector<std::string>{},
                                                {"-v"},
                                                {"-v", "-v"},
                                                {"-v", "-v", "-v"},
                                                {"-v", "-v", "--depth", "1", "--min-size", "2"},
                                                {"-v", "--pictures"}}) {
    const auto with_threads = [&level](const char* threads) {
      std::vector<std::string> options = level;
      options.insert(options.end(), {"-j", threads});
      return options;
    };
    const std::string expected = outcome(scratch, with_threads("1"), -1);
    EXPECT_NE(expected.find("Konnte Verzeichnis nicht oeffnen"), std::string::npos);
    EXPECT_NE(expected.find("Konnte Datei nicht stat'ten"), std::string::npos);
    for (const char* threads : {"2", "16"})
      EXPECT_EQ(outcome(scratch, with_threads(threads), -1), expected) << level.size() << " -v, -j " << threads;
    if (level.size() == 2) {
      // Fewer descriptors than the threads would like: they wait their
      // turn instead of reporting what one thread would not have met.
      EXPECT_EQ(outcome(scratch, with_threads("1"), 12), expected);
      EXPECT_EQ(outcome(scratch, with_threads("16"), 12), expected);
    }
  }
}

}  // namespace
}  // namespace quern_test
