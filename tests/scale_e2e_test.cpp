#include <fcntl.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "quern_process.h"
#include "support/counters.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

// A place for a large generated tree and its report: in memory where
// possible, and gone with the object either way.
class large_scratch {
 public:
  large_scratch() {
    if (tmpfs_mount::can_mount()) memory_ = std::make_unique<tmpfs_mount>(scratch_ / "memory", "4g");
  }
  std::string operator/(const std::string& relative) const {
    return (memory_ ? scratch_ / "memory" : scratch_.path()) + "/" + relative;
  }

 private:
  temporary_directory scratch_;
  std::unique_ptr<tmpfs_mount> memory_;
};

// Sizes without data, so that a million files cost no space.
void make_sized_files(const std::string& directory, int count, const std::string& stem, int64_t (*size)(int)) {
  const int parent = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  check(parent >= 0, "open " + directory);
  for (int i = 0; i < count; ++i) {
    const int file = ::openat(parent, (stem + std::to_string(i)).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    check(file >= 0 && ::ftruncate(file, size(i)) == 0, "create a file in " + directory);
    ::close(file);
  }
  ::close(parent);
}

// Reports the root and returns the totals of its entry page; the report is
// left in "out".
std::vector<std::string> report_totals(const large_scratch& scratch, const std::vector<std::string>& variant) {
  std::filesystem::remove_all(scratch / "out");
  const run_result result = run_quern({with_variant(variant, {"-o", scratch / "out", "-r", scratch / "root"})});
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(report_fault(scratch / "out"), "");
  return totals(read_file(scratch / "out/index.html"));
}

TEST(ScaleEndToEnd, AMillionFilesInOneDirectory) {
  if (QUERN_SANITIZED) GTEST_SKIP() << "release build only";
  large_scratch scratch;
  make_directory(scratch / "root");
  make_sized_files(scratch / "root", 1000000, "file", [](int i) -> int64_t { return i % 4; });
  for (const std::vector<std::string>& variant : thread_variants) {
    EXPECT_EQ(report_totals(scratch, variant), (std::vector<std::string>{"1.500.000", "1.000.000", "0", "0", "0"}));
  }
}

TEST(ScaleEndToEnd, AHundredThousandSubdirectoriesInOneDirectory) {
  if (QUERN_SANITIZED) GTEST_SKIP() << "release build only";
  large_scratch scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  const int parent = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < 100000; ++i) ASSERT_EQ(::mkdirat(parent, ("d" + std::to_string(i)).c_str(), 0755), 0);
  ::close(parent);
  // Every tenth holds a file, so that the orders by bytes and files differ
  // from the scan's.
  for (int i = 0; i < 100000; i += 10) {
    make_sized_files(root + "/d" + std::to_string(i), 1, "f", [](int) -> int64_t { return 1000; });
  }
  for (const std::vector<std::string>& variant : thread_variants) {
    EXPECT_EQ(report_totals(scratch, variant), (std::vector<std::string>{"10.000.000", "10.000", "100.000", "0", "0"}));
    for (const page_order& order : kPageOrders) {
      const std::string page = read_file(scratch / ("out/d1_" + std::string(order.key) + ".html"));
      EXPECT_EQ(cells_of_class(page, "tdlistname").size(), 100000u) << order.key;
      EXPECT_TRUE(page.ends_with("</html>\r\n")) << order.key;
    }
  }
}

}  // namespace
}  // namespace quern_test
