#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "quern_process.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

// The totals line of the index page for bytes and for files.
std::string totals(const std::string& output_directory) {
  const std::string index = read_file(output_directory + "/index.html");
  std::smatch bytes, files;
  std::regex_search(index, bytes, std::regex("tdbytes\">([0-9.]+)<"));
  std::regex_search(index, files, std::regex("tdfiles\">([0-9.]+)<"));
  return bytes[1].str() + " bytes, " + files[1].str() + " files";
}

std::string whole_output(const std::string& output_directory) {
  std::string text;
  for (const auto& [name, content] : read_report(output_directory)) text += "== " + name + "\n" + content;
  return text;
}

TEST(ScanOptionsEndToEnd, HardLinksCountOnceAtTheirFirstNameOnlyWhenAsked) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  for (const char* directory : {"", "/a", "/b", "/c"}) make_directory(root + directory);
  make_file(root + "/a/f", 1000);
  for (const char* name : {"/b/g", "/b/h", "/a/again"})
    check(::link((root + "/a/f").c_str(), (root + name).c_str()) == 0, "link");
  make_file(root + "/c/alone", 10);

  ASSERT_EQ(run_quern({{"-o", scratch / "every", "-r", root}}).exit_status, 0);
  EXPECT_EQ(totals(scratch / "every"), "4.010 bytes, 5 files");
  for (const char* threads : {"1", "16"}) {
    const std::string out = scratch / (std::string("once") + threads);
    const run_result once = run_quern({{"--hard-links-once", "-j", threads, "-o", out, "-r", root}});
    EXPECT_EQ(once.exit_status, 0);
    EXPECT_EQ(once.standard_error, "");
    EXPECT_EQ(totals(out), "1.010 bytes, 2 files");
  }
  EXPECT_EQ(whole_output(scratch / "once1"), whole_output(scratch / "once16"));
}

// A tmpfs mounted in the tree stands for any other file system.
class mounted_tmpfs {
 public:
  explicit mounted_tmpfs(const std::string& where) : where_(where) {
    mounted_ = ::mount("quern-test", where.c_str(), "tmpfs", 0, "size=1m") == 0;
  }
  ~mounted_tmpfs() {
    if (mounted_) ::umount(where_.c_str());
  }
  bool mounted() const { return mounted_; }

 private:
  std::string where_;
  bool mounted_ = false;
};

TEST(ScanOptionsEndToEnd, OneFileSystemShowsAMountPointWithoutEnteringIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_directory(root + "/mnt");
  make_file(root + "/here", 7);
  mounted_tmpfs other(root + "/mnt");
  if (!other.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  make_directory(root + "/mnt/inside");
  make_directory(root + "/mnt/inside/deeper");
  make_file(root + "/mnt/inside/big", 500);

  ASSERT_EQ(run_quern({{"-o", scratch / "all", "-r", root}}).exit_status, 0);
  EXPECT_EQ(totals(scratch / "all"), "507 bytes, 2 files");
  EXPECT_TRUE(exists(scratch / "all/d2_sn.html"));  // mnt has pages of its own

  std::string expected;
  for (const char* threads : {"1", "8"}) {
    const std::string out = scratch / (std::string("one") + threads);
    const run_result one = run_quern({{"-x", "-v", "-j", threads, "-o", out, "-r", root}});
    EXPECT_EQ(one.exit_status, 0);
    EXPECT_NE(one.standard_error.find("* scanning root directory\r\n* nicht betreten (anderes Dateisystem): " + root +
                                      "/mnt\r\n* generating HTML files\r\n"),
              std::string::npos)
        << one.standard_error;
    EXPECT_EQ(totals(out), "7 bytes, 1 files");
    // Still a subdirectory, shown with zeros and without pages of its own.
    EXPECT_NE(read_file(out + "/d1_sn.html")
                  .find("<td class=\"tdlistname\">mnt</td>\r\n <td class=\"tdlistsubdir\">0</td>\r\n"
                        " <td class=\"tdlistbytes\">0</td>"),
              std::string::npos);
    EXPECT_EQ(list_directory(out).size(), 9u);
    if (expected.empty()) expected = whole_output(out);
    EXPECT_EQ(whole_output(out), expected);
  }
}

}  // namespace
}  // namespace quern_test
