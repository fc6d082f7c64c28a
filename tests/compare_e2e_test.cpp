#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "quern_process.h"
#include "report/summary_format.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

void shell(const std::string& command) { check(std::system(command.c_str()) == 0, command); }

// The rows of a page as a reader sees them: name, mark, change of bytes
// and of files.
std::vector<std::string> rows_of(const std::string& page) {
  static const std::regex row(
      "<td class=\"tdlist(?:removed)?name\">(?:<a href=\"[^\"]*\">)?([^<]*)(?:</a>)?"
      "(?: <span class=\"mark\">([a-z]+)</span>)?</td>[\\s\\S]*?<td class=\"tdlistchangebytes\">([^<]*)</td>"
      "[\\s\\S]*?<td class=\"tdlistchangefiles\">([^<]*)</td>");
  std::vector<std::string> rows;
  for (std::sregex_iterator it(page.begin(), page.end(), row), end; it != end; ++it) {
    const std::smatch& m = *it;
    rows.push_back(m[1].str() + (m[2].matched ? " (" + m[2].str() + ")" : "") + " " + m[3].str() + " " + m[4].str());
  }
  return rows;
}

// The page of the directory with this heading in the order of the key.
std::string page_of(const std::map<std::string, std::string>& report, const std::string& heading,
                    const std::string& key) {
  for (const auto& [name, text] : report) {
    if (name.ends_with("_" + key + ".html") && text.find("<h1>" + heading + "</h1>") != std::string::npos) return text;
  }
  return "";
}

// A tree a week apart: docs grew, tmp went, data/sub moved to archive, new
// came, locked could no longer be read and stable stayed as it was.
struct week {
  week() {
    for (const char* directory :
         {"", "/docs", "/data", "/data/sub", "/data/keep", "/archive", "/tmp", "/locked", "/stable"})
      make_directory(root + directory);
    make_file(root + "/docs/f1", 100);
    make_file(root + "/data/sub/deep", 1000);
    make_file(root + "/tmp/x", 50);
    make_file(root + "/locked/secret", 10);
    make_file(root + "/stable/s", 5);
  }
  void pass() {
    make_file(root + "/docs/f2", 300);
    std::filesystem::rename(root + "/data/sub", root + "/archive/sub");
    std::filesystem::remove_all(root + "/tmp");
    make_directory(root + "/new");
    make_file(root + "/new/n", 2000);
  }
  temporary_directory scratch;
  const std::string root = scratch / "root";
};

const std::vector<std::string> kRootByGrowth = {
    "new (neu) +2.000 +1",   "archive +1.000 +1", "docs +300 +1", "stable 0 0",
    "tmp (entfernt) -50 -1", "data -1.000 -1",    "locked  "};

// Every change where it belongs, at every thread count: growth first, gone
// directories listed, and no change where the figures are incomplete.
TEST(CompareEndToEnd, EveryChangeStandsWhereItBelongsAndTheRowsByGrowthInTheirOrder) {
  week tree;
  ASSERT_EQ(run_quern({{"-o", tree.scratch / "before", "-r", tree.root}}).exit_status, 0);
  tree.pass();
  ASSERT_EQ(::chmod((tree.root + "/locked").c_str(), 0), 0);
  std::map<std::string, std::string> first;
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string out = tree.scratch / ("after" + std::to_string(variant.size()));
    const run_result result = run_quern(
        {.arguments = with_variant(variant, {"--compare", tree.scratch / "before", "-o", out, "-r", tree.root}),
         .unprivileged = true});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.standard_error, "Konnte Verzeichnis nicht oeffnen: Permission denied\n");
    EXPECT_EQ(report_fault(out), "");
    const std::map<std::string, std::string> report = read_report(out);
    if (first.empty()) first = report;
    EXPECT_TRUE(report == first) << "the same whatever the threads";

    EXPECT_EQ(rows_of(page_of(report, tree.root, "sg")), kRootByGrowth);
    EXPECT_EQ(rows_of(page_of(report, tree.root, "sn")),
              (std::vector<std::string>{"archive +1.000 +1", "data -1.000 -1", "docs +300 +1", "locked  ",
                                        "new (neu) +2.000 +1", "stable 0 0", "tmp (entfernt) -50 -1"}));
    EXPECT_EQ(rows_of(page_of(report, tree.root + "/archive", "sb")), std::vector<std::string>{"sub (neu) +1.000 +1"});
    EXPECT_EQ(rows_of(page_of(report, tree.root + "/data", "sg")),
              (std::vector<std::string>{"keep 0 0", "sub (entfernt) -1.000 -1"}));
    // Something below the root could not be read: its totals' change is
    // unknown, that of data is known.
    EXPECT_EQ(cells_of_class(page_of(report, tree.root, "sb"), "tdchange"), std::vector<std::string>(5, ""));
    EXPECT_EQ(cells_of_class(page_of(report, tree.root + "/data", "sb"), "tdchange"),
              (std::vector<std::string>{"-1.000", "-1", "-1", "0", "0"}));
    const std::string& index = report.at("index.html");
    EXPECT_TRUE(std::regex_search(index, std::regex("<p>&Auml;nderungen seit dem Bericht vom "
                                                    "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z\\.</p>")));
    EXPECT_NE(report.at("styles.css").find("tr.removed {"), std::string::npos);
  }

  if (run_tool({"tidy", "-v"}) == 127) {
    if (in_ci()) FAIL() << "tidy is not installed";
    GTEST_SKIP() << "tidy is not installed: the pages are not validated";
  }
  for (const auto& [name, text] : first) {
    if (name.ends_with(".html")) {
      // 1 is for warnings, such as the tables without a summary.
      EXPECT_LE(run_tool({"tidy", "-errors", "-q", tree.scratch / "after0/" + name}), 1) << name;
    }
  }
}

// From listings the same changes are shown, whatever order each listing
// comes in; a listing cannot tell that a directory could not be read.
TEST(CompareEndToEnd, ReportsFromListingsCompareAsScansDo) {
  week tree;
  const auto list = [&tree](const std::string& name, const char* order) {
    shell("find '" + tree.root + "' -printf '%y %s %p\\0' | sort -z " + order + " >'" + tree.scratch / name + "'");
  };
  list("before.listing", "");
  tree.pass();
  list("after.listing", "-r");
  ASSERT_EQ(run_quern({{"--listing", tree.scratch / "before.listing", "-o", tree.scratch / "before", "-r", tree.root}})
                .exit_status,
            0);
  const run_result result =
      run_quern({{"--listing", tree.scratch / "after.listing", "--compare", tree.scratch / "before/summary.txt", "-o",
                  tree.scratch / "after", "-r", tree.root}});
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(report_fault(tree.scratch / "after"), "");
  std::vector<std::string> expected = kRootByGrowth;
  expected.insert(expected.begin() + 3, "locked 0 0");
  expected.pop_back();
  EXPECT_EQ(rows_of(page_of(read_report(tree.scratch / "after"), tree.root, "sg")), expected);
}

// The directory lines of a summary, path first, in the file's order.
std::vector<std::string> directory_lines(const std::string& summary) {
  std::vector<std::string> lines;
  std::istringstream in(summary);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with('#') && !line.starts_with("path\t")) lines.push_back(line);
  }
  return lines;
}

// The full summary holds every directory whatever the caps, each after
// everything below it, the same at every thread count and from a listing
// in any order; the caps leave the report's summary shorter.
TEST(CompareEndToEnd, TheFullSummaryHoldsEveryDirectoryEachAfterThoseBelowIt) {
  week tree;
  tree.pass();
  shell("find '" + tree.root + "' -printf '%y %s %p\\0' >'" + tree.scratch / "found" + "'");
  shell("sort -z -r '" + tree.scratch / "found" + "' >'" + tree.scratch / "reversed" + "'");
  const std::vector<std::string> sources[] = {
      {}, {"-j", "1"}, {"--listing", tree.scratch / "found"}, {"-j", "1", "--listing", tree.scratch / "reversed"}};
  std::string texts[std::size(sources)];
  for (size_t run = 0; run < std::size(sources); ++run) {
    const std::string full = tree.scratch / ("full" + std::to_string(run));
    const std::string out = tree.scratch / ("out" + std::to_string(run));
    const run_result result =
        run_quern({with_variant(sources[run], {"--depth", "0", "--summary", full, "-o", out, "-r", tree.root})});
    ASSERT_EQ(result.exit_status, 0) << result.standard_error;
    texts[run] = without_time(read_file(full));
    const std::vector<std::string> lines = directory_lines(texts[run]);
    EXPECT_EQ(lines.size(), 9u);
    std::set<std::string> seen;
    for (const std::string& line : lines) {
      const std::string path = line.substr(0, line.find('\t'));
      for (std::string up = path; up != ".";) {
        up = up.find('/') == std::string::npos ? "." : up.substr(0, up.rfind('/'));
        EXPECT_EQ(seen.count(up), 0u) << path << " after " << up;
      }
      seen.insert(path);
      EXPECT_TRUE(line.ends_with("\t-\t1")) << line;
    }
    EXPECT_EQ(lines.back().substr(0, 2), ".\t");
    EXPECT_NE(texts[run].find("\n#options\t\n#scope\tfull\n"), std::string::npos);
    EXPECT_EQ(directory_lines(read_report(out).at("summary.txt")).size(), 7u);
    const std::vector<std::string> first = directory_lines(texts[0]);
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), std::set<std::string>(first.begin(), first.end()));
  }
  EXPECT_EQ(texts[1], texts[0]);
  EXPECT_EQ(texts[3], texts[2]);
  // Written into the tree it counts, the summary is passed over, under
  // either name, wherever the scan meets it.
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string inside = tree.root + "/full.summary";
    const std::string out = tree.scratch / "out-inside";
    ASSERT_EQ(run_quern({with_variant(variant, {"--depth", "0", "--summary", inside, "-o", out, "-r", tree.root})})
                  .exit_status,
              0);
    EXPECT_EQ(without_time(read_file(inside)), texts[0]);
    EXPECT_TRUE(read_report(out) == read_report(tree.scratch / "out0"));
    std::filesystem::remove(inside);
    std::filesystem::remove_all(out);
  }
}

// Names of every byte but "/", compared with their own report: every name
// is found again, so nothing is new, gone or unknown.
TEST(CompareEndToEnd, NamesOfEveryByteComeBackExactlyFromTheSummary) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  std::set<std::string> names;
  for (int byte = 1; byte < 256; ++byte) {
    if (byte == '/' || byte == '.') continue;
    names.insert(std::string(1, static_cast<char>(byte)) + "x" + static_cast<char>(byte));
  }
  names.insert({"...", "\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80", "\xc3", "\xed\xa0\x80", "#", "a\\x41"});
  for (const std::string& name : names) {
    make_directory(root + "/" + name);
    make_directory(root + "/" + name + "/" + name);
  }
  ASSERT_EQ(run_quern({{"-o", scratch / "first", "-r", root}}).exit_status, 0);
  const std::string summary = read_file(scratch / "first/summary.txt");
  std::set<std::string> read_back;
  for (const std::string& line : directory_lines(summary)) {
    std::string path;
    ASSERT_TRUE(quern::summary_unescaped(line.substr(0, line.find('\t')), path)) << line;
    if (path.find('/') == std::string::npos && path != ".") read_back.insert(path);
  }
  EXPECT_EQ(read_back, names);

  const run_result again = run_quern({{"--compare", scratch / "first", "-o", scratch / "second", "-r", root}});
  EXPECT_EQ(again.standard_error, "");
  const std::map<std::string, std::string> report = read_report(scratch / "second");
  for (const auto& [name, text] : report) {
    if (!name.ends_with(".html") || name == "index.html") continue;
    EXPECT_EQ(text.find("class=\"mark\""), std::string::npos) << name;
    for (const std::string& cell : cells_of_class(text, "tdlistchangebytes")) EXPECT_EQ(cell, "0") << name;
  }

  // What the README gives Python to read the paths back exactly.
  if (run_tool({"python3", "-c", "import codecs"}) == 127) GTEST_SKIP() << "python3 is not installed";
  const std::string decoded = scratch / "decoded";
  shell(
      "python3 -c 'import codecs,sys\n"
      "for line in open(sys.argv[1], \"rb\"):\n"
      "    if not line.startswith(b\"#\"):\n"
      "        sys.stdout.buffer.write(codecs.escape_decode(line.split(b\"\\t\")[0])[0] + b\"\\0\")' '" +
      scratch / "first/summary.txt" + "' >'" + decoded + "'");
  std::set<std::string> from_python;
  std::istringstream in(read_file(decoded));
  for (std::string path; std::getline(in, path, '\0');) {
    if (path.find('/') == std::string::npos && path != "." && path != "path") from_python.insert(path);
  }
  EXPECT_EQ(from_python, names);
}

// A summary of other options is compared all the same, and one line names
// them; with the same options nothing is said and nothing changed.
TEST(CompareEndToEnd, OptionsThatChangeFiguresAreNamedWhereTheyDiffer) {
  week tree;
  check(::link((tree.root + "/docs/f1").c_str(), (tree.root + "/stable/again").c_str()) == 0, "link");
  const std::vector<std::string> options = {"--hard-links-once", "--depth", "01", "-x"};
  ASSERT_EQ(run_quern({with_variant(options, {"-o", tree.scratch / "first", "-r", tree.root})}).exit_status, 0);
  const run_result same = run_quern(
      {with_variant(options, {"--compare", tree.scratch / "first", "-o", tree.scratch / "same", "-r", tree.root})});
  EXPECT_EQ(same.standard_error, "");
  EXPECT_EQ(same.exit_status, 0);
  const std::string page = page_of(read_report(tree.scratch / "same"), tree.root, "sg");
  for (const std::string& row : rows_of(page)) EXPECT_TRUE(row.ends_with(" 0 0")) << row;
  EXPECT_EQ(rows_of(page).size(), 6u);

  const run_result other = run_quern(
      {{"--compare", tree.scratch / "first/summary.txt", "-o", tree.scratch / "other", "-r", tree.root + "/"}});
  EXPECT_EQ(other.standard_error, "Vergleich mit " + tree.scratch / "first/summary.txt" +
                                      ": andere Optionen (vorher \"-x --hard-links-once --depth 01\", jetzt \"\")\r\n"
                                      "Vergleich mit " +
                                      tree.scratch / "first/summary.txt" + ": andere Wurzel (vorher \"" + tree.root +
                                      "\", jetzt \"" + tree.root + "/\")\r\n");
  EXPECT_EQ(other.exit_status, 0);
  // The file with two names counts at both now: where it did not count
  // before, that directory grew by its size.
  const std::vector<std::string> rows = rows_of(page_of(read_report(tree.scratch / "other"), tree.root + "/", "sg"));
  const std::set<std::string> changed(rows.begin(), rows.end());
  EXPECT_TRUE((changed.contains("docs +100 +1") && changed.contains("stable 0 0")) ||
              (changed.contains("docs 0 0") && changed.contains("stable +100 +1")))
      << testing::PrintToString(rows);
}

// A comparison that cannot be made says why, with the line, and publishes
// nothing.
TEST(CompareEndToEnd, AComparisonThatCannotBeMadeLeavesNoOutputDirectory) {
  week tree;
  ASSERT_EQ(run_quern({{"-o", tree.scratch / "before", "-r", tree.root}}).exit_status, 0);
  const std::string summary = read_file(tree.scratch / "before/summary.txt");
  std::string bad_line = summary;
  bad_line.insert(bad_line.find("\n", bad_line.find("\ndata\t") + 1), "x");
  const std::pair<std::string, std::string> broken[] = {
      {"hello\n", "Zeile 1: keine Zusammenfassung"},
      {"#quern-summary 2\n", "Zeile 1: unbekannte Formatversion"},
      {bad_line, "Zeile 10: Format fehlerhaft"},
      {summary.substr(0, summary.size() - 30), "Zeile 16: Schlusszeile fehlt"},
  };
  for (const auto& [text, reason] : broken) {
    const std::string old = tree.scratch / "old";
    std::ofstream(old, std::ios::binary) << text;
    const run_result result = run_quern({{"--compare", old, "-o", tree.scratch / "out", "-r", tree.root}});
    EXPECT_EQ(result.standard_error, "Vergleich mit " + old + " nicht moeglich, " + reason + "\r\n");
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_FALSE(exists(tree.scratch / "out"));
  }
  const run_result missing =
      run_quern({{"--compare", tree.scratch / "tree", "-o", tree.scratch / "out", "-r", tree.root}});
  EXPECT_EQ(missing.standard_error,
            "Vergleich mit " + tree.scratch / "tree" + " nicht moeglich: No such file or directory\r\n");
  EXPECT_EQ(missing.exit_status, 2);
  EXPECT_FALSE(exists(tree.scratch / "out"));
}

}  // namespace
}  // namespace quern_test
