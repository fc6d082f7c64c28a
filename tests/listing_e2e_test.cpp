#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <vector>

#include "quern_process.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

void shell(const std::string& command) { check(std::system(command.c_str()) == 0, command); }

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// A tree with every kind of entry, names that sort differently by bytes
// and by listing order, and siblings whose figures tie.
void make_tree(const std::string& root) {
  make_directory(root);
  make_file(root + "/big", 1234567);
  make_file(root + "/.hidden", 5000000000);
  make_symlink("target-of-some-length", root + "/link");
  make_node(root + "/fifo", S_IFIFO);
  make_node(root + "/sock", S_IFSOCK);
  for (const std::string name : {"tie c", "Tie-B", "tie_a", "\xc3\xa4rger", "a<b>&\"c\""}) {
    make_directory(root + "/" + name);
    make_file(root + "/" + name + "/f", 10);
    make_directory(root + "/" + name + "/leaf");
  }
  std::string deep = root + "/deep";
  for (int level = 0; level < 4; ++level) {
    make_directory(deep);
    make_file(deep + "/f" + std::to_string(level), level);
    make_symlink("x", deep + "/l");
    deep += "/d";
  }
  make_directory(root + "/empty");
  make_directory(root + "/many");
  for (int i = 0; i < 70; ++i) make_directory(root + "/many/" + std::to_string(i * 7919 % 70));
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

const std::regex kProgress(
    "\\* scanning root directory\r\n([\\s\\S]*)\\* generating HTML files\r\n\\* process completed in [0-9]+ "
    "seconds\r\n");

TEST(ListingEndToEnd, ListingsInAnyOrderGiveOneReportWithTheRowsAndFiguresOfAScan) {
  temporary_directory scratch;
  const std::string root = scratch / "tree";
  make_tree(root);
  make_file(root + "/new\nline", 3);  // only records ended by NUL can carry it

  // In find's order; reversed, so that directories come after what lies in
  // them; and shuffled.
  shell("find '" + root + "' -printf '%y %s %p\\0' >'" + scratch / "found" + "'");
  shell("sort -z -r '" + scratch / "found" + "' >'" + scratch / "reversed" + "'");
  shell("shuf -z --random-source='" + scratch / "found" + "' '" + scratch / "found" + "' >'" + scratch / "shuffled" +
        "'");

  std::string first_trace;
  for (const std::string listing : {"found", "reversed", "shuffled"}) {
    const std::string out = scratch / ("out-" + listing);
    const run_result result = run_quern({{"-v", "-v", "-v", "--listing", scratch / listing, "-o", out, "-r", root}});
    EXPECT_EQ(result.exit_status, 0) << listing << ": " << result.standard_error;
    // The trace follows the pages, not the listing.
    const std::string trace =
        std::regex_replace(replace_all(result.standard_error, out, "OUT"), std::regex("completed in [0-9]+"), "");
    if (first_trace.empty()) {
      first_trace = trace;
      EXPECT_EQ(trace.find("** scanning"), std::string::npos) << trace;
      EXPECT_EQ(trace.find("create_directory_node"), std::string::npos) << trace;
    }
    EXPECT_EQ(trace, first_trace) << listing;
    EXPECT_TRUE(read_report(out) == read_report(scratch / "out-found")) << listing;
  }

  ASSERT_EQ(run_quern({{"-o", scratch / "scanned", "-r", root}}).exit_status, 0);
  EXPECT_EQ(comparable(scratch / "scanned"), comparable(scratch / "out-found"));
  EXPECT_EQ(list_directory(scratch / "scanned").size(), 6u * 10 + 3);
}

TEST(ListingEndToEnd, LinesFromStandardInputComposePathsAsTheScanOfARootWithATrailingSlash) {
  temporary_directory scratch;
  const std::string root = scratch / "tree";
  make_tree(root);
  shell("find '" + root + "/' -printf '%y %s %p\\n' >'" + scratch / "lines" + "'");
  const run_result listed =
      run_quern({.arguments = {"--listing-lines", "-", "-o", scratch / "listed", "-r", root + "/"},
                 .standard_input = scratch / "lines"});
  EXPECT_EQ(listed.standard_error, "");
  EXPECT_EQ(listed.exit_status, 0);
  ASSERT_EQ(run_quern({{"-o", scratch / "scanned", "-r", root + "/"}}).exit_status, 0);
  const auto pages = comparable(scratch / "listed");
  EXPECT_EQ(pages, comparable(scratch / "scanned"));
  EXPECT_TRUE(pages.count(root + "//deep/d_sn.html")) << "child paths keep the doubled slash";
}

// What `lfs find /lustre/scratch/proj --printf '%y %s %p\n'` writes, and a
// policy engine's LIST file of the same tree (rule SHOW(MODE || ' ' ||
// VARCHAR(FILE_SIZE)), DIRECTORIES_PLUS) in the order it lists, turned
// into records by the command the README gives.
TEST(ListingEndToEnd, LustreAndGpfsListingsOfOneTreeGiveOneReport) {
  temporary_directory scratch;
  const std::string lustre =
      "d 4096 /lustre/scratch/proj\n"
      "d 4096 /lustre/scratch/proj/run 1\n"
      "f 1048576 /lustre/scratch/proj/run 1/out.dat\n"
      "l 9 /lustre/scratch/proj/run 1/latest\n"
      "f 0 /lustre/scratch/proj/run 1/-- odd name\n"
      "d 4096 /lustre/scratch/proj/src\n"
      "f 2345 /lustre/scratch/proj/src/main.c\n"
      "p 0 /lustre/scratch/proj/src/pipe\n"
      "f 17 /lustre/scratch/proj/README\n";
  const std::string gpfs =
      "40963 65537 0 -rw-r--r-- 2345 -- /lustre/scratch/proj/src/main.c\n"
      "3 1 0 drwxr-xr-x 4096 -- /lustre/scratch/proj\n"
      "40966 65540 0 -rw-r--r-- 0 -- /lustre/scratch/proj/run 1/-- odd name\n"
      "40961 65535 0 drwxrwxr-x 4096 -- /lustre/scratch/proj/run 1\n"
      "40964 65538 0 prw-r--r-- 0 -- /lustre/scratch/proj/src/pipe\n"
      "40962 65536 0 -rw-r--r-- 1048576 -- /lustre/scratch/proj/run 1/out.dat\n"
      "40967 65541 0 lrwxrwxrwx 9 -- /lustre/scratch/proj/run 1/latest\n"
      "40965 65539 0 -rw------- 17 -- /lustre/scratch/proj/README\n"
      "40960 65534 0 drwxr-xr-x 4096 -- /lustre/scratch/proj/src\n";
  std::ofstream(scratch / "lustre.list") << lustre;
  std::ofstream(scratch / "gpfs.list") << gpfs;
  shell("sed -E 's/^[0-9]+ +[0-9]+ +[0-9]+ +(.)[^ ]* +([0-9]+) +-- /\\1 \\2 /; s/^-/f/' '" + scratch / "gpfs.list" +
        "' >'" + scratch / "gpfs.records" + "'");
  for (const std::string name : {"lustre.list", "gpfs.records"}) {
    const run_result result =
        run_quern({{"--listing-lines", scratch / name, "-o", scratch / ("out-" + name), "-r", "/lustre/scratch/proj"}});
    EXPECT_EQ(result.standard_error, "") << name;
    EXPECT_EQ(result.exit_status, 0) << name;
  }
  EXPECT_TRUE(read_report(scratch / "out-lustre.list") == read_report(scratch / "out-gpfs.records"));
  const std::string index = read_file(scratch / "out-lustre.list/index.html");
  EXPECT_NE(index.find("<td class=\"tdbytes\">1.050.947</td>"), std::string::npos) << index;
}

TEST(ListingEndToEnd, BadRecordsAreGapsAndTheReportIsWritten) {
  temporary_directory scratch;
  std::ofstream(scratch / "bad") << "d 0 r\nf 1 r/a\nq 0 r/b\nf 2 r/a\n";
  const run_result result = run_quern({{"-v", "--listing-lines", scratch / "bad", "-o", scratch / "out", "-r", "r"}});
  std::smatch said;
  ASSERT_TRUE(std::regex_match(result.standard_error, said, kProgress)) << result.standard_error;
  EXPECT_EQ(said[1], "Fehlerhafter Listeneintrag 3: unbekannter Typbuchstabe\r\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(read_file(scratch / "out/index.html").find("<td class=\"tdfiles\">2</td>"), std::string::npos);
}

// A listing that holds not one whole record, such as the output of a
// `find` that failed at once, or one that cannot be read, describes no
// tree: it is refused before anything is made, also where a comparison
// would show the whole tree as gone.
TEST(ListingEndToEnd, AListingWithoutARecordOrUnreadableIsRefusedBeforeAnythingIsMade) {
  temporary_directory scratch;
  std::ofstream(scratch / "whole") << "d 0 r\n";
  ASSERT_EQ(run_quern({{"--listing-lines", scratch / "whole", "-o", scratch / "old", "-r", "r"}}).exit_status, 0);
  std::ofstream(scratch / "empty").flush();
  std::ofstream(scratch / "cut") << "d 0 r";
  make_directory(scratch / "a-directory");
  const std::string usage =
      std::string(QUERN_BINARY) + " [-h] [-v]... [-n{s|d}{s|c|f|y|d}]... -o <dir> -r <root>\r\nQuern Version 0.0.9\r\n";
  const std::pair<std::string, std::string> listings[] = {
      {"-", "\"-\" enthaelt keinen Eintrag"},
      {scratch / "empty", "\"" + scratch / "empty" + "\" enthaelt keinen Eintrag"},
      {scratch / "cut", "\"" + scratch / "cut" + "\" enthaelt keinen Eintrag"},
      {scratch / "missing", "\"" + scratch / "missing" + "\" nicht lesbar: No such file or directory"},
      {scratch / "a-directory", "\"" + scratch / "a-directory" + "\" nicht lesbar: Is a directory"}};
  for (const auto& [listing, message] : listings) {
    const run_result result = run_quern(
        {.arguments = {"--listing-lines", listing, "--compare", scratch / "old", "-o", scratch / "out", "-r", "r"},
         .standard_input = scratch / "empty"});
    EXPECT_EQ(result.standard_error, usage + "Listendatei " + message + "\r\n");
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_FALSE(exists(scratch / "out"));
  }
}

}  // namespace
}  // namespace quern_test
