#include <gtest/gtest.h>

#include <initializer_list>

#include "quern_process.h"

namespace quern_test {
namespace {

// A statistics table; each row is its label, its cell class and its cells.
std::string stats(bool detailed, std::initializer_list<std::initializer_list<const char*>> rows) {
  std::string table = "<div class=\"dirstatstext\">\r\n<table class=\"dirstatstable\">\r\n<tr>\r\n <td></td>\r\n";
  if (detailed) {
    table +=
        " <td class=\"tdinfo\">In diesem Verzeichnis</td>\r\n"
        " <td class=\"tdinfo\">Nur in den Unterverzeichnissen</td>\r\n";
  }
  table += " <td class=\"tdinfo\">Gesamt inkl. Unterverzeichnisse</td>\r\n</tr>\r\n";
  for (const auto& row : rows) {
    table += std::string("<tr>\r\n <td class=\"tdinfo\">") + *row.begin() + "</td>\r\n";
    for (auto cell = row.begin() + 2; cell != row.end(); ++cell)
      table += std::string(" <td class=\"") + row.begin()[1] + "\">" + *cell + "</td>\r\n";
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

TEST(ReportEndToEnd, IndexAndPageOfASmallTreeWholly) {
  temporary_directory scratch;
  const std::string root = scratch / "r&t";
  make_directory(root);
  make_file(root + "/big", 1234567);
  make_symlink("1234567", root + "/link");
  make_directory(root + "/a<\"b\">");
  make_file(root + "/a<\"b\">/fifty", 50);
  make_directory(root + "/a<\"b\">/B&");
  make_fifo(root + "/a<\"b\">/B&/fifo");
  EXPECT_EQ(run_quern({{"-o", scratch / "out", "-r", root}}).standard_error, "");
  const std::string shown = scratch.path() + "/r&amp;t";
  EXPECT_EQ(read_file(scratch / "out/index.html"),
            page(shown, "<h1><a href=\"d1_sn.html\">Weiter zur Detailansicht von " + shown + "</a></h1><br>\r\n" +
                            stats(false, {{"Belegte Bytes", "tdbytes", "1.234.624"},
                                          {"Dateien", "tdfiles", "2"},
                                          {"Unterverzeichnisse", "tdsubdir", "2"},
                                          {"Symbolische Links", "tdsymlink", "1"},
                                          {"Devicefiles", "tdother", "1"}})));
  EXPECT_EQ(read_file(scratch / "out/d2_sb.html"),
            page(shown + "/a&lt;&quot;b&quot;&gt;",
                 "<h1>" + shown + "/a&lt;&quot;b&quot;&gt;</h1>\r\n" +
                     stats(true, {{"Belegte Bytes", "tdbytes", "50", "0", "50"},
                                  {"Dateien", "tdfiles", "1", "0", "1"},
                                  {"Unterverzeichnisse", "tdsubdir", "1", "0", "1"},
                                  {"Symbolische Links", "tdsymlink", "0", "0", "0"},
                                  {"Devicefiles", "tdother", "0", "1", "1"}}) +
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
                     "<tr>\r\n <td class=\"tdlistname\">B&amp;</td>\r\n <td class=\"tdlistsubdir\">0</td>\r\n"
                     " <td class=\"tdlistbytes\">0</td>\r\n <td class=\"tdlistfiles\">0</td>\r\n"
                     " <td class=\"tdlistsymlink\">0</td>\r\n <td class=\"tdlistother\">1</td>\r\n</tr>"
                     "</table>\r\n</div>\r\n"));
}

TEST(ReportEndToEnd, EveryLinkNamesAFileAndRunsAreByteIdentical) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  for (const char* name : {"b&c", "<a>", "Z", "tie1", "tie2", "tie3"}) {
    make_directory(root + "/" + name);
    make_file(root + "/" + name + "/f", 10);
    make_directory(root + "/" + name + "/leaf");
  }
  make_directory(root + "/Z/deep");
  make_directory(root + "/Z/deep/deeper");
  make_directory(root + "/Z/deep/deeper/leaf");
  for (const char* out : {"out1", "out2"}) ASSERT_EQ(run_quern({{"-o", scratch / out, "-r", root}}).exit_status, 0);
  const std::vector<std::string> files = list_directory(scratch / "out1");
  EXPECT_EQ(files.size(), 6u * 9 + 2);
  EXPECT_EQ(list_directory(scratch / "out2"), files);
  for (const std::string& name : files) {
    const std::string text = read_file(scratch / "out1/" + name);
    EXPECT_EQ(read_file(scratch / "out2/" + name), text) << name;
    for (size_t at = text.find("href=\""); at != std::string::npos; at = text.find("href=\"", at + 1)) {
      const std::string target = text.substr(at + 6, text.find('"', at + 6) - at - 6);
      EXPECT_TRUE(target == "https://quern.example/" || exists(scratch / "out1/" + target)) << target << " in " << name;
    }
  }
}

}  // namespace
}  // namespace quern_test
