#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>

#include "quern_process.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

// A statistics table with the cells of its rows: bytes, files,
// subdirectories, symbolic links, other entries.
std::string stats(bool detailed, std::initializer_list<std::initializer_list<const char*>> rows) {
  const char* heads[][2] = {{"Belegte Bytes", "tdbytes"},
                            {"Dateien", "tdfiles"},
                            {"Unterverzeichnisse", "tdsubdir"},
                            {"Symbolische Links", "tdsymlink"},
                            {"Devicefiles", "tdother"}};
  std::string table = "<div class=\"dirstatstext\">\r\n<table class=\"dirstatstable\">\r\n<tr>\r\n <td></td>\r\n";
  if (detailed) {
    table +=
        " <td class=\"tdinfo\">In diesem Verzeichnis</td>\r\n"
        " <td class=\"tdinfo\">Nur in den Unterverzeichnissen</td>\r\n";
  }
  table += " <td class=\"tdinfo\">Gesamt inkl. Unterverzeichnisse</td>\r\n</tr>\r\n";
  for (size_t r = 0; r < rows.size(); ++r) {
    table += std::string("<tr>\r\n <td class=\"tdinfo\">") + heads[r][0] + "</td>\r\n";
    for (const char* cell : rows.begin()[r])
      table += std::string(" <td class=\"") + heads[r][1] + "\">" + cell + "</td>\r\n";
    table += "</tr>\r\n";
  }
  return table + "</table>\r\n</div>\r\n";
}

std::string page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"\r\n"
         " \"http://www.w3.org/TR/html4/loose.dtd\">\r\n<html>\r\n<head>\r\n"
         " <meta name=\"robots\" content=\"noindex,nofollow\">\r\n"
         " <meta name=\"author\" content=\"Quern Version 0.0.9\">\r\n"
         " <link rel=\"stylesheet\" type=\"text/css\" href=\"styles.css\">\r\n <title>Quern - " +
         title + "</title>\r\n</head>\r\n<body>\r\n" + body +
         "<div class=\"footer\">\r\nErstellt mit <a href=\"https://quern.example/\">Quern</a> Version 0.0.9\r\n"
         "</div>\r\n</body>\r\n</html>\r\n";
}

// Every kind of entry: a link's own length is its target's length, a link
// to a directory is not followed, sockets and fifos are other entries.
TEST(ReportEndToEnd, IndexAndPageOfATreeWithEveryKindOfEntryWholly) {
  temporary_directory scratch;
  const std::string root = scratch / "r&t";
  const std::string sub = root + "/a<\"b\">";
  make_directory(root);
  make_file(root + "/big", 1234567);
  make_file(root + "/.hidden", 5000000000);
  make_symlink("1234567", root + "/link");
  make_symlink(".", root + "/to_dir");
  make_node(root + "/sock", S_IFSOCK);
  make_directory(sub);
  make_file(sub + "/fifty", 50);
  make_directory(sub + "/...&");
  make_node(sub + "/...&/fifo", S_IFIFO);
  const run_result result = run_quern({{"-o", scratch / "out", "-r", root}});
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, 0);
  const std::string shown = scratch.path() + "/r&amp;t";
  EXPECT_EQ(read_file(scratch / "out/index.html"),
            page(shown, "<h1><a href=\"d1_sn.html\">Weiter zur Detailansicht von " + shown + "</a></h1><br>\r\n" +
                            stats(false, {{"5.001.234.625"}, {"3"}, {"2"}, {"2"}, {"2"}})));
  EXPECT_EQ(
      read_file(scratch / "out/d2_sb.html"),
      page(shown + "/a&lt;&quot;b&quot;&gt;",
           "<h1>" + shown + "/a&lt;&quot;b&quot;&gt;</h1>\r\n" +
               stats(true, {{"50", "0", "50"}, {"1", "0", "1"}, {"1", "0", "1"}, {"0", "0", "0"}, {"0", "1", "1"}}) +
               "<div class=\"toplist\">\r\n&Uuml;bergeordnete Verzeichnisse : <a href=\"d1_sb.html\" "
               "class=\"toplistlink\">" +
               shown +
               "</a> /  \r\n</div>\r\n"
               "<div class=\"overviewtabletext\">\r\n<table class=\"overviewtable\">\r\n<tr>\r\n"
               " <td class=\"tdheadlistname\"><a href=\"d2_sn.html\">Unterverzeichnisname</a></td>\r\n"
               " <td class=\"tdheadlistsubdir\"><a href=\"d2_sc.html\">Anzahl<br>Unterverzeichnisse</a></td>\r\n"
               " <td class=\"tdheadlistbytes\">Anzahl Bytes</td>\r\n"
               " <td class=\"tdheadlistfiles\"><a href=\"d2_sf.html\">Anzahl Files</a></td>\r\n"
               " <td class=\"tdheadlistsymlink\"><a href=\"d2_sl.html\">Anzahl Symlinks</a></td>\r\n"
               " <td class=\"tdheadlistother\"><a href=\"d2_sd.html\">Anzahl andere Files</a></td>\r\n</tr>"
               "<tr>\r\n <td class=\"tdlistname\">...&amp;</td>\r\n <td class=\"tdlistsubdir\">0</td>\r\n"
               " <td class=\"tdlistbytes\">0</td>\r\n <td class=\"tdlistfiles\">0</td>\r\n"
               " <td class=\"tdlistsymlink\">0</td>\r\n <td class=\"tdlistother\">1</td>\r\n</tr>"
               "</table>\r\n</div>\r\n"));
}

TEST(ReportEndToEnd, EveryLinkNamesAFileAndRunsAreByteIdentical) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  for (const std::string name : {"b&c", "<a>", "Z", "tie1", "tie2", "tie3", "Z/deep", "Z/deep/deeper"}) {
    make_directory(root + "/" + name);
    make_file(root + "/" + name + "/f", 10);
    make_directory(root + "/" + name + "/leaf");
  }
  for (const char* out : {"out1", "out2"}) ASSERT_EQ(run_quern({{"-o", scratch / out, "-r", root}}).exit_status, 0);
  const std::map<std::string, std::string> files = read_report(scratch / "out1");
  EXPECT_EQ(files.size(), 6u * 9 + 3);
  EXPECT_TRUE(read_report(scratch / "out2") == files);
  for (const auto& [name, text] : files) {
    for (size_t at = text.find("href=\""); at != std::string::npos; at = text.find("href=\"", at + 1)) {
      const std::string target = text.substr(at + 6, text.find('"', at + 6) - at - 6);
      EXPECT_TRUE(target == "https://quern.example/" || exists(scratch / "out1/" + target)) << target << " in " << name;
    }
  }
}

// The root's totals as the index page shows them.
bool index_shows(const std::string& output_directory, std::initializer_list<std::initializer_list<const char*>> rows) {
  return read_file(output_directory + "/index.html").find(stats(false, rows)) != std::string::npos;
}

TEST(ScanEndToEnd, UnreadableDirectoriesAndUnstatableEntriesAreGapsThatStillCount) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_directory(root + "/open");
  make_directory(root + "/open/locked");
  make_file(root + "/open/locked/hidden", 77);
  make_file(root + "/open/seen", 3);
  ASSERT_EQ(::chmod((root + "/open/locked").c_str(), 0), 0);
  // Read permission without search permission: the names can be listed but
  // none of them, "." and ".." included, can be stat'ed.
  make_directory(root + "/open/listable");
  make_file(root + "/open/listable/a", 10);
  make_file(root + "/open/listable/b", 20);
  ASSERT_EQ(::chmod((root + "/open/listable").c_str(), 0444), 0);
  // Unprivileged, since root reads everything.
  const run_result result = run_quern({.arguments = {"-o", scratch / "out", "-r", root}, .unprivileged = true});
  const std::string locked = "Konnte Verzeichnis nicht oeffnen: Permission denied\n";
  const std::string unstatable = "Konnte Datei nicht stat'ten: Permission denied\n";
  const std::string four_unstatable = unstatable + unstatable + unstatable + unstatable;
  // Listing order decides which comes first.
  EXPECT_TRUE(result.standard_error == locked + four_unstatable || result.standard_error == four_unstatable + locked)
      << result.standard_error;
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(index_shows(scratch / "out", {{"3"}, {"1"}, {"3"}, {"0"}, {"0"}}));
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
  EXPECT_TRUE(index_shows(scratch / "out", {{"1.830"}, {"60"}, {"60"}, {"0"}, {"0"}}));
}

}  // namespace
}  // namespace quern_test
