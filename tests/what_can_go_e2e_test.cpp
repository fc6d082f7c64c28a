#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <set>
#include <sstream>

#include "quern_process.h"
#include "support/report_check.h"

// What only a real tree and the real clock show: the space files take as
// the file system reports it, and the years counted back from the run's
// start. Reports of listings with times and blocks are cases.
namespace quern_test {
namespace {

void shell(const std::string& command) { check(std::system(command.c_str()) == 0, command); }

std::string output_of(const std::string& command) {
  std::string text;
  FILE* pipe = ::popen(command.c_str(), "r");
  check(pipe != nullptr, command);
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
  check(::pclose(pipe) == 0, command);
  return text;
}

void set_modified(const std::string& path, int64_t seconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), 0}};
  check(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0, "utimensat " + path);
}

// The root's line of the report's summary, split at its tabs.
std::vector<std::string> root_line(const std::string& output_directory) {
  std::istringstream lines(read_file(output_directory + "/summary.txt"));
  std::string line;
  while (std::getline(lines, line) && !line.starts_with(".\t")) {
  }
  std::vector<std::string> fields;
  std::istringstream split(line);
  for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
  return fields;
}

int64_t start_of_year(int year) {
  std::tm first{};
  first.tm_year = year - 1900;
  first.tm_mday = 1;
  return static_cast<int64_t>(::timegm(&first));
}

int current_year() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  return utc.tm_year + 1900;
}

// Sparse files, a file of zero blocks, data, hard links and a link: with
// --allocated the bytes are the blocks find reports, times 512, each file
// at every name, or once with --hard-links-once; a listing of the same
// blocks gives the same; and the largest files are ranked by the space.
TEST(WhatCanGoEndToEnd, AllocatedBytesAreTheBlocksFindReports) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_directory(root + "/d");
  shell("truncate -s 1G '" + root + "/d/sparse-hole'");  // no block at all
  shell("head -c 300000 /dev/urandom >'" + root + "/data'");
  shell("head -c 5000 /dev/urandom >'" + root + "/d/tail' && truncate -s 50M '" + root + "/d/tail'");
  shell("head -c 70000 /dev/urandom >'" + root + "/d/linked' && ln '" + root + "/d/linked' '" + root + "/again'");
  make_symlink("some/target", root + "/link");
  const auto blocks = [&root](bool each_inode_once) {
    std::istringstream lines(output_of("find '" + root + "' \\( -type f -o -type l \\) -printf '%i %b\\n'"));
    std::set<std::string> inodes;
    int64_t sum = 0;
    for (std::string inode, count; lines >> inode >> count;) {
      if (inodes.insert(inode).second || !each_inode_once) sum += std::stoll(count) * 512;
    }
    return sum;
  };
  const int64_t every_name = blocks(false);
  const int64_t once = blocks(true);
  ASSERT_LT(once, every_name);  // the linked file has blocks
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string out = scratch / ("all" + std::to_string(variant.size()));
    ASSERT_EQ(run_quern({with_variant(variant, {"--allocated", "--largest", "2", "-o", out, "-r", root})}).exit_status,
              0);
    EXPECT_EQ(root_line(out).at(1), std::to_string(every_name));
    EXPECT_EQ(report_fault(out), "");
    // The data file is the largest on the disk, the sparse ones are not.
    EXPECT_EQ(cells_of_class(read_file(out + "/index.html"), "tddetailname").at(0), "data");
    const std::string one = scratch / ("once" + std::to_string(variant.size()));
    ASSERT_EQ(
        run_quern({with_variant(variant, {"--allocated", "--hard-links-once", "-o", one, "-r", root})}).exit_status, 0);
    EXPECT_EQ(root_line(one).at(1), std::to_string(once));
  }
  shell("find '" + root + "' -printf '%y %s %T@ %b %p\\0' >'" + scratch / "listing" + "'");
  ASSERT_EQ(run_quern({{"--allocated", "--listing", scratch / "listing", "--listing-fields", "type,size,time,blocks",
                        "-o", scratch / "listed", "-r", root}})
                .exit_status,
            0);
  EXPECT_EQ(root_line(scratch / "listed").at(1), std::to_string(every_name));
}

// The years count back from the run's start in UTC, from its first second
// on; a time after the start is later, whatever year it falls in; a scan
// and a listing of the tree agree.
TEST(WhatCanGoEndToEnd, YearsBeginAtTheirFirstSecondCountedFromTheRunsStart) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  const int year = current_year();
  const std::vector<std::pair<int64_t, int64_t>> files = {{start_of_year(year), 1},
                                                          {start_of_year(year) - 1, 20},
                                                          {start_of_year(year - 9), 300},
                                                          {start_of_year(year - 9) - 1, 4000},
                                                          {std::time(nullptr) + 86400, 50000},
                                                          {-1, 600000}};
  for (const auto& [modified, size] : files) {
    const std::string path = root + "/f" + std::to_string(size);
    make_file(path, size);
    set_modified(path, modified);
  }
  set_modified(root, start_of_year(year) - 1);  // directories add nothing
  const std::string expected = "later=50000/1," + std::to_string(year) + "=1/1," + std::to_string(year - 1) + "=20/1," +
                               std::to_string(year - 9) + "=300/1,older=604000/2";
  ASSERT_EQ(run_quern({{"--age", "-o", scratch / "scanned", "-r", root}}).exit_status, 0);
  EXPECT_EQ(root_line(scratch / "scanned").back(), expected);
  EXPECT_EQ(report_fault(scratch / "scanned"), "");
  shell("find '" + root + "' -printf '%y %s %T@ %p\\0' >'" + scratch / "listing" + "'");
  ASSERT_EQ(run_quern({{"--age", "--listing", scratch / "listing", "--listing-fields", "type,size,time", "-o",
                        scratch / "listed", "-r", root}})
                .exit_status,
            0);
  EXPECT_EQ(root_line(scratch / "listed").back(), expected);
}

// Across a new year each year compares with the same year of the earlier
// report; the classes after the start and older span other times in each
// and have no change; a year shown now that held bytes then and holds none
// now is a row with its loss, and one that left the years shown is not.
TEST(WhatCanGoEndToEnd, AComparisonAcrossANewYearComparesEachYearWithItself) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  const int year = current_year();
  make_file(root + "/this-year", 100);
  set_modified(root + "/this-year", start_of_year(year) + 10);
  make_file(root + "/last-year", 200);
  set_modified(root + "/last-year", start_of_year(year - 1) + 10);
  make_file(root + "/ancient", 9);
  set_modified(root + "/ancient", 0);
  const std::string y = std::to_string(year);
  const std::string y1 = std::to_string(year - 1), y2 = std::to_string(year - 2), y10 = std::to_string(year - 10);
  std::ofstream(scratch / "old")
      << "#quern-summary 1\n#root\t" << root << "\n#begun\t" << y1
      << "-06-01T00:00:00Z\n#source\tscan\n#options\t\n#scope\treport\n"
         "path\tbytes\town_bytes\tfiles\town_files\tsubdirs\town_subdirs\tlinks\town_links\tothers\town_others\tgaps\t"
         "listed\tages\n"
         ".\t366\t366\t4\t4\t0\t0\t0\t0\t0\t0\t-\t1\tlater=1/1,"
      << y1 << "=300/1," << y2 << "=50/1," << y10 << "=7/1,older=8/1\n#end\t1\n";
  const run_result result = run_quern({{"--age", "--compare", scratch / "old", "-o", scratch / "out", "-r", root}});
  ASSERT_EQ(result.exit_status, 0) << result.standard_error;
  const std::string page = read_file(scratch / "out/index.html");
  const std::vector<std::string> labels = cells_of_class(page, "tddetailname");
  EXPECT_EQ(labels, (std::vector<std::string>{y, y1, y2, "&auml;lter"}));
  const std::vector<std::string> numbers = cells_of_class(page, "tddetailnumber");
  ASSERT_EQ(numbers.size(), 16u);
  const std::vector<std::string> changes = {numbers[3], numbers[7], numbers[11], numbers[15]};
  EXPECT_EQ(changes, (std::vector<std::string>{"+100", "-100", "-50", ""}));
  EXPECT_EQ(numbers[8], "");  // the year that holds nothing now shows no bytes
  EXPECT_EQ(report_fault(scratch / "out"), "");
}

}  // namespace
}  // namespace quern_test
