#include <gtest/gtest.h>

#include <filesystem>

#include "quern_process.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

// The root is opened as given, so a link to a directory is followed; below
// it no link is, whatever it points to.
TEST(RootsEndToEnd, ALinkToADirectoryAsRootIsFollowedAndNoLinkBelowIt) {
  temporary_directory scratch;
  const std::string real = scratch / "real";
  make_directory(real);
  make_file(real + "/file", 10);
  make_directory(real + "/sub");
  make_file(real + "/sub/inner", 5);
  make_directory(real + "/sub/deeper");
  make_symlink("sub", real + "/to_sub");
  make_symlink(real, real + "/sub/to_top");
  make_symlink(real, scratch / "link");
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string output = scratch / ("out" + std::to_string(&variant - thread_variants.data()));
    const run_result result = run_quern({with_variant(variant, {"-o", output, "-r", scratch / "link"})});
    EXPECT_EQ(result.standard_error, "");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(report_fault(output), "");
    // Links count with the length of what they hold: 3 and the real path.
    EXPECT_EQ(totals(read_file(output + "/index.html")),
              (std::vector<std::string>{std::to_string(10 + 5 + 3 + real.size()), "2", "2", "2", "0"}));
    EXPECT_NE(read_file(output + "/d1_sn.html").find("<h1>" + scratch / "link" + "</h1>"), std::string::npos);
    // The root and sub have pages; deeper has none, and neither link made one.
    EXPECT_EQ(list_directory(output).size(), 2u * 6 + 3);
  }
}

// A root that cannot be opened is reported and leaves a report of zeros.
TEST(RootsEndToEnd, ARegularFileOrAMissingPathAsRootGivesAnEmptyReportAndAGap) {
  temporary_directory scratch;
  make_file(scratch / "file", 100);
  const std::pair<std::string, std::string> roots[] = {{scratch / "file", "Not a directory"},
                                                       {scratch / "missing", "No such file or directory"}};
  for (const std::vector<std::string>& variant : thread_variants) {
    for (const auto& [root, error] : roots) {
      const std::string output = scratch / "out";
      const run_result result = run_quern({with_variant(variant, {"-o", output, "-r", root})});
      EXPECT_EQ(result.standard_error, "Konnte Verzeichnis nicht oeffnen: " + error + "\n");
      EXPECT_EQ(result.exit_status, 1);
      EXPECT_EQ(report_fault(output), "");
      EXPECT_EQ(totals(read_file(output + "/index.html")), (std::vector<std::string>{"0", "0", "0", "0", "0"}));
      EXPECT_EQ(list_directory(output),
                (std::vector<std::string>{"d1_sb.html", "d1_sc.html", "d1_sd.html", "d1_sf.html", "d1_sl.html",
                                          "d1_sn.html", "index.html", "styles.css", "summary.txt"}));
      std::filesystem::remove_all(output);
    }
  }
}

// The style sheet is written before the scan and the pages after it: an
// output directory inside the tree is counted with the style sheet alone,
// also when the pages of the subtrees finished before the scan reaches it
// are being written meanwhile. It lies in the directory listed last, so that
// there are such pages.
TEST(RootsEndToEnd, AnOutputDirectoryInsideTheTreeCountsWhatItHoldsWhenTheScanPasses) {
  constexpr int kSubdirectories = 300;
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_file(root + "/file", 100);
  for (int i = 0; i < kSubdirectories; ++i) {
    make_directory(root + "/sub" + std::to_string(i));
    make_directory(root + "/sub" + std::to_string(i) + "/inner");
    make_file(root + "/sub" + std::to_string(i) + "/file", 10);
  }
  std::string listed_last;
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    if (entry.is_directory()) listed_last = entry.path().string();
  }
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string output = listed_last + "/out";
    const run_result result = run_quern({with_variant(variant, {"-o", output, "-r", root})});
    EXPECT_EQ(result.standard_error, "");
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(report_fault(output), "");
    EXPECT_EQ(totals(read_file(output + "/index.html")),
              (std::vector<std::string>{"8.123", std::to_string(kSubdirectories + 2),
                                        std::to_string(2 * kSubdirectories + 1), "0", "0"}));
    std::filesystem::remove_all(output);
  }
}

}  // namespace
}  // namespace quern_test
