#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "quern_process.h"
#include "support/report_check.h"

// What only a scan of a real tree shows, where the order the file system
// lists names in decides page numbers, so that no report can be expected
// byte for byte: reports of a tree and of its listing agree, paths beyond
// the system's limit, another file system, and an output directory inside
// the tree. The rest of what a report holds is in the cases (tests/cases).
namespace quern_test {
namespace {

void shell(const std::string& command) { check(std::system(command.c_str()) == 0, command); }

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Every file of the report, with directory numbers replaced by the paths
// the pages give them and the rows of each overview table sorted, so that
// reports of one tree compare equal whatever order their rows with equal
// keys stand in.
std::map<std::string, std::string> comparable(const std::string& output_directory) {
  std::map<std::string, std::string> paths;  // "d12_" -> "path_"
  for (const std::string& name : list_directory(output_directory)) {
    const std::string text = read_file(output_directory + "/" + name);
    const size_t title = text.find("<title>Quern - ") + 15;
    if (name.ends_with("_sn.html"))
      paths[name.substr(0, name.find('_') + 1)] = text.substr(title, text.find("</title>") - title) + "_";
  }
  std::map<std::string, std::string> files;
  for (const auto& [name, content] : read_report(output_directory)) {
    std::string text = content;
    // The summary names its source; its lines are in name order either way.
    if (name == "summary.txt") {
      files[name] = replace_all(text, "\n#source\tlisting\n", "\n#source\tscan\n");
      continue;
    }
    for (size_t at = text.find("href=\"d"); at != std::string::npos; at = text.find("href=\"d", at + 1)) {
      const std::string number = text.substr(at + 6, text.find('_', at) + 1 - at - 6);
      text.replace(at + 6, number.size(), paths.at(number));
    }
    const size_t rows = text.find("<tr>\r\n <td class=\"tdlistname\"");
    if (rows != std::string::npos) {
      const size_t end = text.find("</table>", rows);
      std::vector<std::string> sorted;
      for (size_t at = rows; at < end; at = text.find("</tr>", at) + 5)
        sorted.push_back(text.substr(at, text.find("</tr>", at) + 5 - at));
      std::sort(sorted.begin(), sorted.end());
      std::string joined;
      for (const std::string& row : sorted) joined += row;
      text.replace(rows, end - rows, joined);
    }
    const auto number = paths.find(name.substr(0, name.find('_') + 1));
    files[number != paths.end() ? number->second + name.substr(name.find('_') + 1) : name] = text;
  }
  return files;
}

// Every kind of entry, names that sort differently by bytes and by the
// file system's order, ties, and, as root, files of three owners.
void make_tree(const std::string& root) {
  make_directory(root);
  make_file(root + "/big", 1234567);
  make_symlink("target-of-some-length", root + "/link");
  make_node(root + "/fifo", S_IFIFO);
  make_node(root + "/sock", S_IFSOCK);
  for (const std::string name : {"tie c", "Tie-B", "tie_a", "\xc3\xa4rger", "a<b>&\"c\""}) {
    make_directory(root + "/" + name);
    make_file(root + "/" + name + "/f", 10);
    make_directory(root + "/" + name + "/leaf");
    if (::geteuid() == 0) check(::lchown((root + "/" + name + "/f").c_str(), name.size() % 3, 0) == 0, "lchown");
  }
  make_directory(root + "/many");
  for (int i = 0; i < 70; ++i) make_directory(root + "/many/" + std::to_string(i * 7919 % 70));
  make_file(root + "/new\nline", 3);  // only records ended by NUL can carry it
}

// A listing in find's order, reversed so that directories come after what
// lies in them, or shuffled, gives the report of the scan, but for the order
// of rows with equal keys, which the listing takes by name; owners are
// named as the user database names them.
TEST(ScanEndToEnd, ReportsOfATreeAndOfItsListingInAnyOrderAgree) {
  temporary_directory scratch;
  const std::string root = scratch / "tree";
  make_tree(root);
  shell("find '" + root + "' -printf '%y %s %u %p\\0' >'" + scratch / "found" + "'");
  shell("sort -z -r '" + scratch / "found" + "' >'" + scratch / "reversed" + "'");
  shell("shuf -z --random-source='" + scratch / "found" + "' '" + scratch / "found" + "' >'" + scratch / "shuffled" +
        "'");
  ASSERT_EQ(run_quern({{"--owners", "-o", scratch / "scanned", "-r", root}}).exit_status, 0);
  for (const std::string listing : {"found", "reversed", "shuffled"}) {
    const std::string out = scratch / ("out-" + listing);
    const run_result result = run_quern({{"--owners", "--listing", scratch / listing, "-o", out, "-r", root}});
    EXPECT_EQ(result.exit_status, 0) << listing << ": " << result.standard_error;
    EXPECT_EQ(comparable(out), comparable(scratch / "scanned")) << listing;
  }
}

TEST(ScanEndToEnd, PathsBeyondTheSystemLimitScanCompletelyWithFewDescriptors) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  // Built relative to open descriptors: the full path is longer than the
  // system accepts in one call.
  const int levels = 60;
  const std::string name(200, 'n');  // about 12,000 bytes of path
  int current = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < levels; ++level) {
    const int file = ::openat(current, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::ftruncate(file, level + 1), 0);
    ::close(file);
    ASSERT_EQ(::mkdirat(current, name.c_str(), 0755), 0);
    const int next = ::openat(current, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(next, 0);
    ::close(current);
    current = next;
  }
  ::close(current);
  const std::vector<std::string> unsorted = {"-nss", "-nsc", "-nsf", "-nsy", "-nsd", "-o", scratch / "out", "-r", root};
  const run_result result = run_quern({.arguments = unsorted, .descriptor_limit = 16});
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, 0);
  // Files of 1 to 60 bytes, one per level; 60 directories below the root.
  EXPECT_EQ(totals(read_file(scratch / "out/index.html")), (std::vector<std::string>{"1.830", "60", "60", "0", "0"}));
}

// With -x a tmpfs mounted in the tree, standing for any other file system,
// is a subdirectory shown with zeros and without pages, and not entered.
TEST(ScanEndToEnd, OneFileSystemShowsAMountPointWithoutEnteringIt) {
  if (!tmpfs_mount::can_mount()) GTEST_SKIP() << "mounting a tmpfs needs root";
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_file(root + "/here", 7);
  const tmpfs_mount other(root + "/mnt", "1m");
  make_directory(root + "/mnt/inside");
  make_directory(root + "/mnt/inside/deeper");
  make_file(root + "/mnt/inside/big", 500);

  ASSERT_EQ(run_quern({{"-o", scratch / "all", "-r", root}}).exit_status, 0);
  EXPECT_EQ(totals(read_file(scratch / "all/index.html"))[0], "507");
  std::map<std::string, std::string> first;
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string out = scratch / ("one" + std::to_string(variant.size()));
    const run_result one = run_quern({with_variant(variant, {"-x", "-v", "-o", out, "-r", root})});
    EXPECT_EQ(one.exit_status, 0);
    EXPECT_NE(one.standard_error.find("* scanning root directory\r\n* nicht betreten (anderes Dateisystem): " + root +
                                      "/mnt\r\n* generating HTML files\r\n"),
              std::string::npos)
        << one.standard_error;
    EXPECT_EQ(totals(read_file(out + "/index.html")), (std::vector<std::string>{"7", "1", "1", "0", "0"}));
    EXPECT_EQ(list_directory(out).size(), 9u);
    if (first.empty()) first = read_report(out);
    EXPECT_TRUE(read_report(out) == first);
  }
}

// The style sheet is written before the scan and the pages after it: an
// output directory inside the tree is counted with the style sheet alone,
// also when the pages of the subtrees finished before the scan reaches it
// are being written meanwhile. It lies in the directory listed last, so that
// there are such pages.
TEST(ScanEndToEnd, AnOutputDirectoryInsideTheTreeCountsWhatItHoldsWhenTheScanPasses) {
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
