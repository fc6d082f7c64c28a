#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "quern_process.h"

namespace quern_test {
namespace {

// The text of the first table cell with this class.
std::string cell(const std::string& html, const std::string& cell_class, size_t occurrence = 0) {
  const std::string open = "<td class=\"" + cell_class + "\">";
  size_t at = html.find(open);
  for (size_t i = 0; i < occurrence && at != std::string::npos; ++i) at = html.find(open, at + 1);
  if (at == std::string::npos) return "<missing>";
  at += open.size();
  return html.substr(at, html.find("</td>", at) - at);
}

// The root's totals as the index page shows them: bytes, files,
// subdirectories, symbolic links, other entries.
std::string totals(const std::string& output_directory) {
  const std::string index = read_file(output_directory + "/index.html");
  return cell(index, "tdbytes") + " " + cell(index, "tdfiles") + " " + cell(index, "tdsubdir") + " " +
         cell(index, "tdsymlink") + " " + cell(index, "tdother");
}

TEST(ScanEndToEnd, CountsEveryKindOfEntryOnARealTree) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_file(root + "/hundred", 100);
  make_symlink("1234567", root + "/link");  // a link's own length is its target's length
  make_symlink(".", root + "/to_dir");      // a link to a directory is not followed
  make_directory(root + "/A");
  make_file(root + "/A/fifty", 50);
  make_file(root + "/A/.hidden", 5000000000);
  make_directory(root + "/A/...");
  make_fifo(root + "/A/.../fifo");
  make_socket(root + "/A/sock");
  make_directory(root + "/A/B");
  bool have_device = false;
  if (running_as_root()) {
    ASSERT_EQ(::mknod((root + "/A/B/null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    have_device = true;
  }
  const run_result result = run_quern({{"-o", scratch / "out", "-r", root}});
  ASSERT_EQ(result.exit_status, 0) << result.standard_error;
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(totals(scratch / "out"), std::string("5.000.000.158 3 3 2 ") + (have_device ? "3" : "2"));

  // The root's own column against everything below it.
  const std::string root_page = read_file(scratch / "out/d1_sn.html");
  EXPECT_EQ(cell(root_page, "tdbytes", 0), "108");
  EXPECT_EQ(cell(root_page, "tdbytes", 1), "5.000.000.050");
  EXPECT_EQ(cell(root_page, "tdsubdir", 0), "1");
  EXPECT_EQ(cell(root_page, "tdsubdir", 1), "2");
}

TEST(ScanEndToEnd, TrailingSlashOnTheRootDoublesTheSeparatorInTraces) {
  temporary_directory scratch;
  make_directory(scratch / "root");
  make_directory(scratch / "root/a");
  make_file(scratch / "root/a/f", 1);
  const run_result result = run_quern({{"-v", "-v", "-o", scratch / "out", "-r", scratch / "root/"}});
  EXPECT_EQ(result.standard_error, "* scanning root directory\r\n** scanning " + scratch / "root/\n" +
                                       "** detecting directory " + scratch / "root//a\r\n" + "** scanning " +
                                       scratch / "root//a\n" + "* generating HTML files\r\n" +
                                       result.standard_error.substr(result.standard_error.rfind("* process")));
  EXPECT_EQ(totals(scratch / "out"), "1 1 1 0 0");
}

TEST(ScanEndToEnd, UnreadableDirectoryIsAGapThatStillCounts) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_directory(root + "/open");
  make_directory(root + "/open/locked");
  make_file(root + "/open/locked/hidden", 77);
  make_file(root + "/open/seen", 3);
  ASSERT_EQ(::chmod((root + "/open/locked").c_str(), 0), 0);
  run_options options{{"-o", scratch / "out", "-r", root}};
  options.unprivileged = true;  // root reads everything
  const run_result result = run_quern(options);
  EXPECT_EQ(result.standard_error, "Konnte Verzeichnis nicht oeffnen: Permission denied\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(totals(scratch / "out"), "3 1 2 0 0");
}

TEST(ScanEndToEnd, EntriesThatCannotBeStatedAreReportedAndSkipped) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_directory(root + "/listable");
  make_file(root + "/listable/a", 10);
  make_file(root + "/listable/b", 20);
  // Read permission without search permission: the names can be listed but
  // none of them, "." and ".." included, can be stat'ed.
  ASSERT_EQ(::chmod((root + "/listable").c_str(), 0444), 0);
  run_options options{{"-o", scratch / "out", "-r", root}};
  options.unprivileged = true;
  const run_result result = run_quern(options);
  EXPECT_EQ(result.standard_error, "Konnte Datei nicht stat'ten: Permission denied\n"
                                       "Konnte Datei nicht stat'ten: Permission denied\n"
                                       "Konnte Datei nicht stat'ten: Permission denied\n"
                                       "Konnte Datei nicht stat'ten: Permission denied\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(totals(scratch / "out"), "0 0 1 0 0");
}

// Builds a chain of nested directories relative to open descriptors, since
// its full path is longer than the system accepts in one call.
void make_chain(const std::string& root, int levels, const std::string& name) {
  int current = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(current, 0);
  for (int level = 0; level < levels; ++level) {
    const int file = ::openat(current, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::ftruncate(file, level + 1), 0);
    ::close(file);
    ASSERT_EQ(::mkdirat(current, name.c_str(), 0755), 0);
    const int next = ::openat(current, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(next, 0);
    ::close(current);
    current = next;
  }
  ::close(current);
}

TEST(ScanEndToEnd, PathsBeyondTheSystemLimitScanCompletelyWithFewDescriptors) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  const int levels = 60;
  make_chain(root, levels, std::string(200, 'n'));  // about 12,000 bytes of path
  run_options options{{"-nss", "-nsc", "-nsf", "-nsy", "-nsd", "-o", scratch / "out", "-r", root}};
  options.descriptor_limit = 16;
  const run_result result = run_quern(options);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, 0);
  // Files of 1 to 60 bytes, one per level; 60 directories below the root.
  EXPECT_EQ(totals(scratch / "out"), "1.830 60 60 0 0");
}

}  // namespace
}  // namespace quern_test
