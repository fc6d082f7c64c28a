#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "quern_process.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

// The release build scans several large trees; the sanitizer build, many
// times slower, fewer and smaller ones. Runs go on, up to the most, until
// the changes have met the scan at least once.
constexpr int kRuns = QUERN_SANITIZED ? 2 : 5;
constexpr int kMostRuns = 6 * kRuns;
constexpr int kDirectories = QUERN_SANITIZED ? 800 : 3000;
constexpr int kMostChanges = 200000;

struct tree_paths {
  std::vector<std::string> directories;  // the root first
  std::vector<std::string> files;
};

// Directories hung below directories chosen at random, each with a few
// files and now and then a symbolic link.
tree_paths make_random_tree(const std::string& root, std::mt19937& rng) {
  tree_paths tree;
  make_directory(root);
  tree.directories.push_back(root);
  for (int i = 1; i <= kDirectories; ++i) {
    const std::string directory = tree.directories[rng() % tree.directories.size()] + "/d" + std::to_string(i);
    make_directory(directory);
    tree.directories.push_back(directory);
    for (unsigned f = rng() % 3; f > 0; --f) {
      tree.files.push_back(directory + "/f" + std::to_string(f));
      make_file(tree.files.back(), rng() % 5000);
    }
    if (rng() % 8 == 0) make_symlink("f1", directory + "/link");
  }
  return tree;
}

// Changes the tree until it is killed: renames directories and files,
// deletes and creates them, removes whole subtrees and puts files where
// directories were. Half the time it works on one of the first directories
// made, which lie near the root, so that the scan lists them long before it
// enters them. A path whose directory went is left in the lists; changes to
// it fail and are passed over.
pid_t start_changing(tree_paths tree, unsigned seed) {
  const pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid != 0) return pid;
  std::mt19937 rng(seed);
  auto pick = [&rng](const std::vector<std::string>& paths, size_t from) {
    const size_t choices = paths.size() - from;
    return from + rng() % (rng() % 2 == 0 ? std::min<size_t>(choices, 64) : choices);
  };
  auto rename = [](std::string& path, const std::string& to) {
    std::error_code failed;
    std::filesystem::rename(path, to, failed);
    if (!failed) path = to;
  };
  for (int change = 0; change < kMostChanges; ++change) {
    std::error_code ignored;
    const std::string fresh = tree.directories[pick(tree.directories, 0)] + "/n" + std::to_string(change);
    const unsigned kind = rng() % 20;
    if (kind < 6) {
      rename(tree.directories[pick(tree.directories, 1)], fresh);
    } else if (kind < 10) {
      rename(tree.files[pick(tree.files, 0)], fresh);
    } else if (kind < 12) {
      std::filesystem::remove(tree.files[pick(tree.files, 0)], ignored);
    } else if (kind < 15) {
      tree.files.push_back(fresh);
      std::ofstream(fresh).put('x');
    } else if (kind < 18) {
      tree.directories.push_back(fresh);
      std::filesystem::create_directory(fresh, ignored);
    } else {
      const std::string& gone = tree.directories[pick(tree.directories, 1)];
      std::filesystem::remove_all(gone, ignored);
      if (kind == 19) std::ofstream(gone).put('x');
    }
  }
  ::_exit(0);
}

// What may vanish under the scan, and how it is said.
bool is_vanishing_report(const std::string& line) {
  static const std::set<std::string> known = {"Konnte Verzeichnis nicht oeffnen: No such file or directory",
                                              "Konnte Verzeichnis nicht oeffnen: Not a directory",
                                              "Konnte Datei nicht stat'ten: No such file or directory",
                                              "Konnte Verzeichniseintrag nicht lesen: No such file or directory"};
  return known.contains(line);
}

TEST(ChangingTreeEndToEnd, EveryRunEndsSaysWhatVanishedAndWritesAReportThatAgreesWithItself) {
  std::mt19937 rng(20240917);
  for (const std::vector<std::string>& variant : thread_variants) {
    int vanishing_reports = 0;
    for (int run = 0; run < kRuns || (vanishing_reports == 0 && run < kMostRuns); ++run) {
      SCOPED_TRACE("run " + std::to_string(run));
      temporary_directory scratch;
      // In memory where possible: thousands of pages on a disk cost seconds.
      std::unique_ptr<tmpfs_mount> memory;
      if (tmpfs_mount::can_mount()) memory = std::make_unique<tmpfs_mount>(scratch / "memory", "1g");
      const std::string base = memory ? scratch / "memory" : scratch.path();
      const tree_paths tree = make_random_tree(base + "/root", rng);
      const pid_t changer = start_changing(tree, static_cast<unsigned>(rng()));
      const run_result result = run_quern(
          {.arguments = with_variant(variant, {"-o", base + "/out", "-r", base + "/root"}), .timeout_seconds = 300});
      ::kill(changer, SIGKILL);
      ::waitpid(changer, nullptr, 0);

      ASSERT_EQ(result.ending_signal, 0) << "the run was killed or hung";
      std::istringstream lines(result.standard_error);
      for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(is_vanishing_report(line)) << line;
        ++vanishing_reports;
      }
      EXPECT_EQ(result.exit_status, result.standard_error.empty() ? 0 : 1);
      EXPECT_EQ(report_fault(base + "/out"), "");
    }
    // Without this the changes never met the scan, and the test proved nothing.
    EXPECT_GT(vanishing_reports, 0);
  }
}

}  // namespace
}  // namespace quern_test
