#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "quern_process.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

// Directories on both sides of every cap tried below: deep chains, a small
// and a large subtree, directories without subdirectories, ties, a link to
// a directory and other entries below subdirectories.
void make_tree(const std::string& root) {
  make_directory(root);
  std::string chain = root + "/big";
  for (int level = 0; level < 5; ++level) {
    make_directory(chain);
    make_file(chain + "/f", int64_t{3} << (20 - 3 * level));
    if (level % 2 == 1) make_symlink("f", chain + "/l");
    chain += "/level " + std::to_string(level);
  }
  make_directory(root + "/small");
  make_file(root + "/small/f", 100);
  make_directory(root + "/small/s1");
  make_file(root + "/small/s1/f", 10);
  make_directory(root + "/small/s1/s2");
  make_node(root + "/small/s1/s2/fifo", S_IFIFO);
  for (const char* name : {"mid a", "mid b", "mid c"}) {
    const std::string mid = root + "/" + name;
    make_directory(mid);
    make_directory(mid + "/x");
    make_file(mid + "/x/f", 1 << 20);
    make_directory(mid + "/x/y");
  }
  make_directory(root + "/leaf");
  make_file(root + "/leaf/f", 1 << 21);
  make_symlink("big", root + "/to big");
}

// The directory numbers that have pages in a report.
std::set<std::string> with_pages(const std::map<std::string, std::string>& report) {
  std::set<std::string> ids;
  for (const auto& [name, text] : report) {
    if (name.ends_with("_sn.html")) ids.insert(name.substr(0, name.find('_')));
  }
  return ids;
}

// The page with every row link to a directory without pages turned into
// its plain name.
std::string without_links_to(std::string page, const std::set<std::string>& gone) {
  static const std::regex row_link("<td class=\"tdlistname\"><a href=\"(d[0-9]+)_s[a-z]\\.html\">([^<]*)</a>");
  std::string result;
  auto from = page.cbegin();
  for (std::sregex_iterator it(page.begin(), page.end(), row_link), end; it != end; ++it) {
    const std::smatch& match = *it;
    result.append(from, match[0].first);
    result += gone.count(match[1].str()) > 0 ? "<td class=\"tdlistname\">" + match[2].str() : match[0].str();
    from = match[0].second;
  }
  result.append(from, page.cend());
  return result;
}

// A find listing of the tree, in find's own order.
std::string list_tree(const temporary_directory& scratch, const std::string& root) {
  const std::string listing = scratch / "tree.listing";
  check(std::system(("find '" + root + "' -printf '%y %s %p\\0' >'" + listing + "'").c_str()) == 0, "find");
  return listing;
}

// A capped report's summary names the caps as given and holds a line for
// every directory with pages and every row of them, each with the uncapped
// figures; a directory is listed unless it has subdirectories and none of
// them has a line.
std::string summary_lines_fault(const std::string& capped, const std::string& uncapped,
                                const std::vector<std::string>& caps) {
  std::string options;  // in their fixed order, the depth first
  for (const char* cap : {"--depth", "--min-size"}) {
    const auto given = std::find(caps.begin(), caps.end(), cap);
    if (given != caps.end()) options += (options.empty() ? "" : " ") + *given + " " + given[1];
  }
  if (capped.find("\n#options\t" + options + "\n") == std::string::npos) return "options not named: " + options;
  std::map<std::string, std::string> uncapped_lines;  // path -> line without its listed field
  std::istringstream all(uncapped);
  for (std::string line; std::getline(all, line);) uncapped_lines[line.substr(0, line.find('\t'))] = line;
  std::istringstream kept(capped);
  int directories = 0;
  for (std::string line; std::getline(kept, line);) {
    if (line.starts_with('#') || line.starts_with("path\t")) continue;
    ++directories;
    const std::string path = line.substr(0, line.find('\t'));
    const std::string& full = uncapped_lines[path];
    if (full.substr(0, full.size() - 1) != line.substr(0, line.size() - 1)) return "figures differ: " + line;
    std::istringstream fields(line);
    std::string own_subdirs;
    for (int column = 0; column <= 6; ++column) std::getline(fields, own_subdirs, '\t');
    const bool rows_below = path == "." || capped.find("\n" + path + "/") != std::string::npos;
    if ((line.back() == '0') != (own_subdirs != "0" && !rows_below)) return "listed wrongly: " + line;
  }
  return directories > 1 ? "" : "too few lines";
}

struct capped_case {
  std::vector<std::string> caps;
  std::string note;
};

const capped_case kCases[] = {
    {{"--depth", "0"}, "<p>Seiten gibt es nur f&uuml;r die Wurzel.</p>\r\n"},
    {{"--depth", "1"},
     "<p>Seiten gibt es nur f&uuml;r Verzeichnisse bis zur Tiefe 1 unter der Wurzel; die &uuml;brigen stehen ohne "
     "Link in der Liste ihres &uuml;bergeordneten Verzeichnisses.</p>\r\n"},
    {{"--min-size", "1M"},
     "<p>Seiten gibt es nur f&uuml;r Verzeichnisse mit mindestens 1.048.576 Bytes; die &uuml;brigen stehen ohne "
     "Link in der Liste ihres &uuml;bergeordneten Verzeichnisses.</p>\r\n"},
    {{"--min-size", "1048577", "--depth", "3"},
     "<p>Seiten gibt es nur f&uuml;r Verzeichnisse bis zur Tiefe 3 unter der Wurzel und mit mindestens "
     "1.048.577 Bytes; die &uuml;brigen stehen ohne Link in der Liste ihres &uuml;bergeordneten "
     "Verzeichnisses.</p>\r\n"},
};

// Every page a capped report writes is the uncapped report's page of the
// same name, but for the links to directories that no longer have pages;
// every link still resolves, the entry page names the caps, and -v tells
// how many directories got pages. From a scan and from a listing, at every
// thread count.
TEST(CapsEndToEnd, CappedPagesAreTheUncappedPagesWithoutLinksToDirectoriesWithoutPages) {
  const temporary_directory scratch;
  const std::string tree = scratch / "tree";
  make_tree(tree);
  const std::string listing = list_tree(scratch, tree);
  int directories = 1;  // the root
  for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
    directories += entry.is_directory() && !entry.is_symlink() ? 1 : 0;
  }
  int run = 0;
  for (const std::vector<std::string>& source : {std::vector<std::string>{}, {"--listing", listing}}) {
    const std::string uncapped_out = scratch / ("uncapped" + std::to_string(run++));
    ASSERT_EQ(run_quern({.arguments = with_variant(source, {"-o", uncapped_out, "-r", tree})}).exit_status, 0);
    const std::map<std::string, std::string> uncapped = read_report(uncapped_out);
    for (const capped_case& c : kCases) {
      for (const std::vector<std::string>& variant : thread_variants) {
        std::vector<std::string> arguments = with_variant(variant, source);
        arguments.insert(arguments.end(), c.caps.begin(), c.caps.end());
        const std::string out = scratch / ("capped" + std::to_string(run++));
        arguments.insert(arguments.end(), {"-v", "-o", out, "-r", tree});
        SCOPED_TRACE(testing::PrintToString(arguments));
        const run_result result = run_quern({.arguments = arguments});
        ASSERT_EQ(result.exit_status, 0) << result.standard_error;
        EXPECT_EQ(report_fault(out), "");

        const std::map<std::string, std::string> capped = read_report(out);
        const std::set<std::string> kept = with_pages(capped);
        std::set<std::string> gone;
        for (const std::string& id : with_pages(uncapped)) {
          if (kept.count(id) == 0) gone.insert(id);
        }
        EXPECT_FALSE(gone.empty());
        for (const auto& [name, text] : capped) {
          ASSERT_EQ(uncapped.count(name), 1u) << name;
          if (name == "index.html") {
            const std::string& before = uncapped.at(name);
            const size_t footer = before.find("<div class=\"footer\">");
            EXPECT_EQ(text, before.substr(0, footer) + c.note + before.substr(footer));
          } else if (name.ends_with(".html")) {
            EXPECT_EQ(text, without_links_to(uncapped.at(name), gone)) << name;
          } else if (name == "summary.txt") {
            EXPECT_EQ(summary_lines_fault(text, uncapped.at(name), c.caps), "");
          } else {
            EXPECT_EQ(text, uncapped.at(name)) << name;
          }
        }
        EXPECT_NE(
            result.standard_error.find("* Seiten fuer " + std::to_string(kept.size()) + " von " +
                                       std::to_string(directories) + " Verzeichnissen\r\n* generating HTML files\r\n"),
            std::string::npos)
            << result.standard_error;
      }
    }
  }
}

// Sums that no 64-bit value can hold: three files of the largest size a
// file can have, listed or on a file system that allows them.
TEST(CapsEndToEnd, ByteSumsBeyondSixtyFourBitsAreExact) {
  const temporary_directory scratch;
  const std::string largest = "9223372036854775807";
  const std::string exact = "27.670.116.110.564.327.421";
  {
    std::string records;
    for (const char* name : {"a", "b", "c"}) records += "f " + largest + " /data/d/" + name + '\0';
    records += "d 0 /data/d/sub" + std::string(1, '\0');
    records += "f 9223372036854775808 /data/d/too-large" + std::string(1, '\0');
    std::ofstream(scratch / "listing", std::ios::binary) << records;
    const run_result listed = run_quern({.arguments = {"--listing", scratch / "listing", "--min-size", "16383P", "-o",
                                                       scratch / "out", "-r", "/data"}});
    EXPECT_EQ(listed.exit_status, 1);
    EXPECT_EQ(listed.standard_error, "Fehlerhafter Listeneintrag 5: Format fehlerhaft\r\n");
    EXPECT_EQ(totals(read_file(scratch / "out/index.html"))[0], exact);
    // The directory holds more than the largest --min-size: it has pages.
    EXPECT_NE(read_file(scratch / "out/d1_sn.html").find("<a href=\"d2_sn.html\">d</a>"), std::string::npos);
  }
  if (!tmpfs_mount::can_mount()) {
    GTEST_SKIP() << "mounting a tmpfs for files of the largest size needs root";
  }
  const tmpfs_mount sparse(scratch / "tmpfs", "1M");
  make_directory(scratch / "tmpfs/d");
  for (const char* name : {"a", "b", "c"}) make_file(scratch / ("tmpfs/d/" + std::string(name)), INT64_MAX);
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string out = scratch / ("scanned" + std::to_string(variant.size()));
    ASSERT_EQ(run_quern({.arguments = with_variant(variant, {"-o", out, "-r", scratch / "tmpfs"})}).exit_status, 0);
    EXPECT_EQ(totals(read_file(out + "/index.html"))[0], exact);
    const std::vector<std::string> root_bytes = cells_of_class(read_file(out + "/d1_sb.html"), "tdbytes");
    EXPECT_EQ(root_bytes, (std::vector<std::string>{"0", exact, exact}));
    EXPECT_EQ(cells_of_class(read_file(out + "/d1_sb.html"), "tdlistbytes"), std::vector<std::string>{exact});
  }
}

}  // namespace
}  // namespace quern_test
