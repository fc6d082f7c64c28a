#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "quern_process.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

void shell(const std::string& command) { check(std::system(command.c_str()) == 0, command); }

// The three owners of the tree: root, and two more, named as the user
// database names them, or by their numbers.
constexpr uid_t kOwners[] = {0, 1, 2};

std::string user_name(uid_t user) {
  const passwd* entry = ::getpwuid(user);
  return entry != nullptr ? entry->pw_name : std::to_string(user);
}

void make_owned_file(const std::string& path, int64_t size, uid_t owner) {
  make_file(path, size);
  check(::lchown(path.c_str(), owner, owner) == 0, "lchown " + path);
}

// 14.503 bytes in 7 files, 2.000 of them a second name of a file: the root
// owns 6.000 bytes in 2 files, the second owner 5.003 in 3 files and a
// link, the third 3.500 in 2. Only the root and "docs" have subdirectories.
void make_tree(const std::string& root) {
  make_directory(root);
  make_owned_file(root + "/big", 6000, kOwners[0]);
  make_symlink("big", root + "/link");
  check(::lchown((root + "/link").c_str(), kOwners[1], kOwners[1]) == 0, "lchown link");
  make_directory(root + "/docs");
  make_owned_file(root + "/docs/a.txt", 1000, kOwners[1]);
  make_owned_file(root + "/docs/b.txt", 3000, kOwners[2]);
  make_directory(root + "/docs/sub");
  make_owned_file(root + "/docs/sub/c.txt", 500, kOwners[2]);
  make_owned_file(root + "/docs/sub/hard1", 2000, kOwners[1]);
  check(::link((root + "/docs/sub/hard1").c_str(), (root + "/docs/sub/hard2").c_str()) == 0, "link");
  make_directory(root + "/other");
  make_owned_file(root + "/other/empty", 0, kOwners[0]);
}

// The owners' table of a page as rows of name, bytes, files and share.
std::vector<std::string> owner_rows(const std::string& page) {
  std::vector<std::string> rows;
  const std::vector<std::string> names = cells_of_class(page, "tdownername");
  const std::vector<std::string> bytes = cells_of_class(page, "tdownerbytes");
  const std::vector<std::string> files = cells_of_class(page, "tdownerfiles");
  const std::vector<std::string> shares = cells_of_class(page, "tdownershare");
  for (size_t row = 0; row < names.size() && row < bytes.size() && row < files.size() && row < shares.size(); ++row)
    rows.push_back(names[row] + " " + bytes[row] + " " + files[row] + " " + shares[row]);
  return rows;
}

// The table of owners, from its start to its end.
std::string owner_table(const std::string& page) {
  const size_t start = page.find("<div class=\"ownerstext\">");
  return start == std::string::npos ? "" : page.substr(start, page.find("</table>", start) - start);
}

std::string without_elapsed(const std::string& said) {
  return std::regex_replace(said, std::regex("completed in [0-9]+ seconds"), "completed");
}

bool skip_without_root() { return ::geteuid() != 0; }

// The directory numbers follow the scan's order, which the file system
// chooses; the pages are found by their headings.
std::string page_of(const std::map<std::string, std::string>& report, const std::string& path) {
  for (const auto& [name, text] : report) {
    if (name.ends_with("_sb.html") && text.find("<h1>" + path + "</h1>") != std::string::npos) return text;
  }
  return "";
}

TEST(OwnersEndToEnd, EveryPageAndTheIndexShowTheOwnersOfTheirSubtreeAndHardLinksCountOnceWhenAsked) {
  if (skip_without_root()) GTEST_SKIP() << "files of several owners are made with chown, which needs root";
  const temporary_directory scratch;
  const std::string tree = scratch / "tree";
  make_tree(tree);
  const std::string first = user_name(kOwners[0]), second = user_name(kOwners[1]), third = user_name(kOwners[2]);
  const struct {
    std::vector<std::string> options;
    std::vector<std::string> root_rows;
    std::vector<std::string> docs_rows;
  } cases[] = {
      {{},
       {first + " 6.000 2 41,4 %", second + " 5.003 3 34,5 %", third + " 3.500 2 24,1 %"},
       {second + " 5.000 3 58,8 %", third + " 3.500 2 41,2 %"}},
      {{"--hard-links-once"},
       {first + " 6.000 2 48,0 %", third + " 3.500 2 28,0 %", second + " 3.003 2 24,0 %"},
       {third + " 3.500 2 53,8 %", second + " 3.000 2 46,2 %"}},
  };
  for (const auto& c : cases) {
    std::string first_said;
    std::map<std::string, std::string> first_report;
    for (const std::vector<std::string>& variant : thread_variants) {
      std::vector<std::string> arguments = with_variant(variant, c.options);
      const std::string out = scratch / ("out" + std::to_string(c.options.size()) + std::to_string(variant.size()));
      arguments.insert(arguments.end(), {"--owners", "-v", "-v", "-o", out, "-r", tree});
      SCOPED_TRACE(testing::PrintToString(arguments));
      const run_result result = run_quern({.arguments = arguments});
      ASSERT_EQ(result.exit_status, 0) << result.standard_error;
      EXPECT_EQ(report_fault(out), "");
      const std::map<std::string, std::string> report = read_report(out);
      EXPECT_EQ(owner_rows(page_of(report, tree)), c.root_rows);
      EXPECT_EQ(owner_rows(page_of(report, tree + "/docs")), c.docs_rows);
      EXPECT_EQ(owner_rows(report.at("index.html")), c.root_rows);
      // Every thread count gives the same report and says the same.
      if (first_said.empty()) {
        first_said = without_elapsed(result.standard_error);
        first_report = report;
      } else {
        EXPECT_EQ(without_elapsed(result.standard_error), first_said);
        EXPECT_TRUE(report == first_report);
      }
    }
  }
}

const std::string kGone = " <span class=\"mark\">entfernt</span>";

// The owners' table of a page as rows of name, bytes and change.
std::vector<std::string> owner_changes(const std::string& page) {
  std::vector<std::string> rows;
  const std::vector<std::string> names = cells_of_class(page, "tdownername");
  const std::vector<std::string> bytes = cells_of_class(page, "tdownerbytes");
  const std::vector<std::string> changes = cells_of_class(page, "tdownerchange");
  for (size_t row = 0; row < names.size() && row < bytes.size() && row < changes.size(); ++row)
    rows.push_back(names[row] + " " + bytes[row] + " " + changes[row]);
  return rows;
}

// Files of the second owner grown by 500 bytes, those of the third gone and
// a fourth owner's 700 bytes added, all in "docs".
void change_tree(const std::string& root, uid_t added_owner) {
  make_owned_file(root + "/docs/a.txt", 1500, kOwners[1]);
  shell("rm '" + root + "/docs/b.txt' '" + root + "/docs/sub/c.txt'");
  make_owned_file(root + "/docs/new", 700, added_owner);
}

// A later report compared with an earlier one, its summary beside the pages
// or a full summary of a report whose pages did not reach "docs", shows
// each owner's change on every page and on the index page.
TEST(OwnersEndToEnd, ComparedReportsShowEachOwnersChangeAndTheOwnersThatAreGone) {
  if (skip_without_root()) GTEST_SKIP() << "files of several owners are made with chown, which needs root";
  const temporary_directory scratch;
  const std::string tree = scratch / "tree";
  make_tree(tree);
  ASSERT_EQ(run_quern({{"--owners", "-o", scratch / "before", "-r", tree}}).exit_status, 0);
  ASSERT_EQ(
      run_quern({{"--owners", "--depth", "0", "--summary", scratch / "full.txt", "-o", scratch / "capped", "-r", tree}})
          .exit_status,
      0);
  constexpr uid_t kAdded = 3;
  change_tree(tree, kAdded);
  const std::string first = user_name(kOwners[0]), second = user_name(kOwners[1]), third = user_name(kOwners[2]),
                    added = user_name(kAdded);
  const std::vector<std::string> root_rows = {first + " 6.000 0", second + " 5.503 +500", added + " 700 +700",
                                              third + kGone + "  -3.500"};
  const std::vector<std::string> docs_rows = {second + " 5.500 +500", added + " 700 +700", third + kGone + "  -3.500"};
  int run = 0;
  for (const std::string& old : std::vector<std::string>{scratch / "before", scratch / "full.txt"}) {
    std::map<std::string, std::string> first_report;
    for (const std::vector<std::string>& variant : thread_variants) {
      const std::string out = scratch / ("after" + std::to_string(run++));
      std::vector<std::string> arguments = with_variant(variant, {"--owners", "--compare", old});
      arguments.insert(arguments.end(), {"-o", out, "-r", tree});
      SCOPED_TRACE(testing::PrintToString(arguments));
      const run_result result = run_quern({.arguments = arguments});
      ASSERT_EQ(result.exit_status, 0) << result.standard_error;
      EXPECT_EQ(report_fault(out), "");
      const std::map<std::string, std::string> report = read_report(out);
      EXPECT_EQ(owner_changes(page_of(report, tree)), root_rows);
      EXPECT_EQ(owner_changes(page_of(report, tree + "/docs")), docs_rows);
      EXPECT_EQ(owner_changes(report.at("index.html")), root_rows);
      EXPECT_NE(report.at("styles.css").find(".tdownerchange"), std::string::npos);
      if (first_report.empty()) {
        first_report = report;
      } else {
        EXPECT_TRUE(report == first_report);
      }
    }
  }
  // The summary beside pages that did not reach "docs" kept no owners for
  // it: its owners' changes are not known, and none are told gone.
  ASSERT_EQ(
      run_quern({{"--owners", "--compare", scratch / "capped", "-o", scratch / "unknown", "-r", tree}}).exit_status, 0);
  const std::map<std::string, std::string> unknown = read_report(scratch / "unknown");
  EXPECT_EQ(owner_changes(page_of(unknown, tree + "/docs")),
            std::vector<std::string>({second + " 5.500 ", added + " 700 "}));
  EXPECT_EQ(owner_changes(unknown.at("index.html")), root_rows);
}

// A capped report writes fewer pages, but each with the table the
// uncapped report has on it.
TEST(OwnersEndToEnd, CappedReportsShowTheOwnersOnThePagesTheyWrite) {
  if (skip_without_root()) GTEST_SKIP() << "files of several owners are made with chown, which needs root";
  const temporary_directory scratch;
  const std::string tree = scratch / "tree";
  make_tree(tree);
  ASSERT_EQ(run_quern({{"--owners", "-o", scratch / "uncapped", "-r", tree}}).exit_status, 0);
  const std::map<std::string, std::string> uncapped = read_report(scratch / "uncapped");
  int run = 0;
  for (const std::vector<std::string>& caps : {std::vector<std::string>{"--depth", "0"}, {"--min-size", "8501"}}) {
    for (const std::vector<std::string>& variant : thread_variants) {
      const std::string out = scratch / ("capped" + std::to_string(run++));
      std::vector<std::string> arguments = with_variant(variant, caps);
      arguments.insert(arguments.end(), {"--owners", "-o", out, "-r", tree});
      SCOPED_TRACE(testing::PrintToString(arguments));
      ASSERT_EQ(run_quern({.arguments = arguments}).exit_status, 0);
      EXPECT_EQ(report_fault(out), "");
      const std::map<std::string, std::string> capped = read_report(out);
      EXPECT_LT(capped.size(), uncapped.size());
      for (const auto& [name, page] : capped) {
        if (!name.ends_with(".html")) continue;
        EXPECT_NE(owner_table(page), "") << name;
        EXPECT_EQ(owner_table(page), owner_table(uncapped.at(name))) << name;
      }
    }
  }
}

// Records of three owners, each written where "#" stands: 6.000 bytes in a
// file of the first, 1.003 in a file and a link of the second, 3.500 in
// two files of the third, all but the first's in "docs".
std::string owned_listing(const std::vector<std::string>& owners, char terminator) {
  const std::pair<std::string, size_t> records[] = {{"d 4096 # /data", 0},          {"f 6000 # /data/big", 0},
                                                    {"l 3 # /data/link", 1},        {"d 4096 # /data/docs", 1},
                                                    {"f 1000 # /data/docs/a", 1},   {"f 3000 # /data/docs/b", 2},
                                                    {"f 500 # /data/docs/sub/c", 2}};
  std::string text;
  for (auto [record, owner] : records) text += record.replace(record.find('#'), 1, owners[owner]) + terminator;
  return text;
}

TEST(OwnersEndToEnd, ListingsGiveOwnersAsTheyNameThemInEitherFormatAndOnStandardInput) {
  const temporary_directory scratch;
  const struct {
    const char* option;
    char terminator;
    std::vector<std::string> owners;  // as listed
    std::vector<std::string> shown;   // as the pages show them
    bool from_standard_input;
  } cases[] = {
      {"--listing", '\0', {"0", "1000", "1001"}, {"0", "1000", "1001"}, false},
      {"--listing-lines", '\n', {"root", "alice", "bob"}, {"root", "alice", "bob"}, false},
      {"--listing", '\0', {"00", "x", "y"}, {"00", "x", "y"}, true},
      {"--listing-lines", '\n', {"<", "&", "\""}, {"&lt;", "&amp;", "&quot;"}, true},
  };
  int run = 0;
  for (const auto& c : cases) {
    const std::string listing = scratch / ("listing" + std::to_string(run));
    const std::string out = scratch / ("out" + std::to_string(run++));
    std::ofstream(listing, std::ios::binary) << owned_listing(c.owners, c.terminator);
    run_options options{
        .arguments = {"--owners", c.option, c.from_standard_input ? "-" : listing, "-o", out, "-r", "/data"}};
    if (c.from_standard_input) options.standard_input = listing;
    SCOPED_TRACE(testing::PrintToString(options.arguments));
    const run_result result = run_quern(options);
    EXPECT_EQ(result.standard_error, "");
    ASSERT_EQ(result.exit_status, 0);
    EXPECT_EQ(report_fault(out), "");
    const std::map<std::string, std::string> report = read_report(out);
    const std::vector<std::string> whole = {c.shown[0] + " 6.000 1 57,1 %", c.shown[2] + " 3.500 2 33,3 %",
                                            c.shown[1] + " 1.003 1 9,5 %"};
    EXPECT_EQ(owner_rows(report.at("index.html")), whole);
    EXPECT_EQ(owner_rows(report.at("d1_sb.html")), whole);
    EXPECT_EQ(owner_rows(report.at("d2_sn.html")),
              std::vector<std::string>({c.shown[2] + " 3.500 2 77,8 %", c.shown[1] + " 1.000 1 22,2 %"}));
  }
}

// Owners compared by the names a listing gives, no root needed.
TEST(OwnersEndToEnd, ListingsComparedShowTheOwnersChangesByTheirNames) {
  const temporary_directory scratch;
  std::ofstream(scratch / "before", std::ios::binary) << owned_listing({"root", "alice", "bob"}, '\n');
  std::ofstream(scratch / "after", std::ios::binary)
      << "d 4096 root /data\nf 6000 root /data/big\nl 3 alice /data/link\nd 4096 alice /data/docs\n"
         "f 1500 alice /data/docs/a\nf 700 carol /data/docs/new\nd 4096 alice /data/docs/sub\n";
  ASSERT_EQ(run_quern({{"--owners", "--listing-lines", scratch / "before", "-o", scratch / "old", "-r", "/data"}})
                .exit_status,
            0);
  for (const std::string jobs : {"1", "4"}) {
    const std::string out = scratch / ("new" + jobs);
    const run_result result = run_quern({{"-j", jobs, "--owners", "--compare", scratch / "old", "--listing-lines",
                                          scratch / "after", "-o", out, "-r", "/data"}});
    ASSERT_EQ(result.exit_status, 0) << result.standard_error;
    EXPECT_EQ(report_fault(out), "");
    const std::map<std::string, std::string> report = read_report(out);
    const std::vector<std::string> whole = {"root 6.000 0", "alice 1.503 +500", "carol 700 +700",
                                            "bob" + kGone + "  -3.500"};
    EXPECT_EQ(owner_changes(report.at("index.html")), whole);
    EXPECT_EQ(owner_changes(page_of(report, "/data")), whole);
    EXPECT_EQ(owner_changes(page_of(report, "/data/docs")),
              std::vector<std::string>({"alice 1.500 +500", "carol 700 +700", "bob" + kGone + "  -3.500"}));
  }
}

TEST(OwnersEndToEnd, OwnersFromAListingWithoutThemAreAMistakeAndARecordOfTheOtherShapeIsBad) {
  const temporary_directory scratch;
  std::ofstream(scratch / "plain", std::ios::binary) << "d 0 /data\nf 1 /data/f\n";
  std::ofstream(scratch / "mixed", std::ios::binary) << "d 0 0 /data\nf 1 /data/f\nf 2 0 /data/g\n";
  for (const bool from_standard_input : {false, true}) {
    const std::string out = scratch / ("mistake" + std::to_string(from_standard_input));
    run_options options{.arguments = {"--listing-lines", from_standard_input ? "-" : scratch / "plain", "--owners",
                                      "-o", out, "-r", "/data"}};
    if (from_standard_input) options.standard_input = scratch / "plain";
    const run_result result = run_quern(options);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_TRUE(
        result.standard_error.ends_with("\r\nOption \"--owners\" nur mit Eigentuemern in der Listendatei moeglich\r\n"))
        << result.standard_error;
    EXPECT_FALSE(exists(out));
  }
  const run_result mixed =
      run_quern({{"--owners", "--listing-lines", scratch / "mixed", "-o", scratch / "mixed-out", "-r", "/data"}});
  EXPECT_EQ(mixed.exit_status, 1);
  EXPECT_EQ(mixed.standard_error, "Fehlerhafter Listeneintrag 2: Eigentuemer fehlt\r\n");
  EXPECT_EQ(owner_rows(read_file(scratch / "mixed-out/index.html")), std::vector<std::string>{"0 2 1 100,0 %"});
}

// find's %u writes the names the user database gives, as a scan shows
// them; without --owners the owners of a listing are passed over and the
// report is that of the listing without them.
TEST(OwnersEndToEnd, ListedNamesAreTheScansNamesAndWithoutTheOptionListedOwnersChangeNothing) {
  if (skip_without_root()) GTEST_SKIP() << "files of several owners are made with chown, which needs root";
  const temporary_directory scratch;
  const std::string tree = scratch / "tree";
  make_tree(tree);
  shell("find '" + tree + "' -printf '%y %s %u %p\\0' >'" + scratch / "named" + "'");
  shell("find '" + tree + "' -printf '%y %s %p\\0' >'" + scratch / "plain" + "'");
  ASSERT_EQ(run_quern({{"--owners", "-o", scratch / "scanned", "-r", tree}}).exit_status, 0);
  ASSERT_EQ(run_quern({{"--owners", "--listing", scratch / "named", "-o", scratch / "listed", "-r", tree}}).exit_status,
            0);
  EXPECT_EQ(owner_table(read_file(scratch / "listed/index.html")),
            owner_table(read_file(scratch / "scanned/index.html")));
  EXPECT_NE(owner_table(read_file(scratch / "listed/index.html")), "");

  const run_result named = run_quern({{"-v", "--listing", scratch / "named", "-o", scratch / "named-out", "-r", tree}});
  const run_result plain = run_quern({{"-v", "--listing", scratch / "plain", "-o", scratch / "plain-out", "-r", tree}});
  EXPECT_EQ(named.exit_status, 0);
  EXPECT_EQ(without_elapsed(named.standard_error), without_elapsed(plain.standard_error));
  EXPECT_TRUE(read_report(scratch / "named-out") == read_report(scratch / "plain-out"));
}

}  // namespace
}  // namespace quern_test
