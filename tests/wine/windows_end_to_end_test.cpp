#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "quern_process.h"

namespace quern_test {
namespace {

const std::string kGreek = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";          // Ωμέγα
const std::string kJapanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";           // 日本語
const std::string kGreekFile = "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD.txt";  // Ελλην.txt
constexpr int64_t kGiB = int64_t{1} << 30;

run_result run_windows(std::vector<std::string> arguments, const std::string& program = QUERN_EXE) {
  // Wine reads the command line in the locale's character set.
  ::setenv("LC_ALL", "C.UTF-8", 1);
  arguments.insert(arguments.begin(), {QUERN_WINE, program});
  return run_quern({arguments});
}

run_result run_native(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), QUERN_NATIVE);
  return run_quern({arguments});
}

// The name Wine gives a path of this machine: drive Z: is its root.
std::string windows_path(const std::string& path) {
  std::string result = "Z:" + path;
  std::replace(result.begin(), result.end(), '/', '\\');
  return result;
}

// The diagnostics without the elapsed seconds, which depend on the load.
std::string without_elapsed(const std::string& said) {
  const size_t last = said.rfind("* process completed in ");
  EXPECT_NE(last, std::string::npos) << said;
  EXPECT_TRUE(said.ends_with(" seconds\r\n")) << said;
  return said.substr(0, last);
}

// A file of the output directory; the summary without the time its run
// began, which differs between two runs.
std::string output_file(const std::string& path) {
  std::string text = read_file(path);
  if (!path.ends_with("/summary.txt")) return text;
  const size_t begun = text.find("\n#begun\t");
  return begun == std::string::npos ? text : text.erase(begun + 8, text.find('\n', begun + 1) - begun - 8);
}

// The root's totals on the index page.
std::string totals(const std::string& output_directory) {
  const std::string index = read_file(output_directory + "/index.html");
  const size_t start = index.find("<div class=\"dirstatstext\">");
  return index.substr(start, index.find("</table>", start) - start);
}

const char* const kHelpLines =
    " -h             Diese Hilfe\r\n"
    " -v ...         Debugmeldungen auf stderr\r\n"
    " -o <dir>       Ausgabeverzeichnis\r\n"
    " -r <root>      Das Verzeichnis zum scannen\r\n"
    " -nd{s|c|f|y|d} No Display Switch\r\n"
    "                -nds Anzahl Bytes werden nicht angezeigt\r\n"
    "                -ndc Anzahl Subdirectorys werden nicht angezeigt\r\n"
    "                -ndf Anzahl Files werden nicht angezeigt\r\n"
    " -ns{s|c|f|y|d} No Sort Switch\r\n"
    "                -nss Anzahl Bytes werden nicht sortiert\r\n"
    "                -nsc Anzahl Subdirectorys werden nicht sortiert\r\n"
    "                -nsf Anzahl Files werden nicht sortiert\r\n";

// The program's own name comes through the wide command line too.
TEST(WindowsCommandLine, HelpHasTwelveLinesAndNamesOutsideTheCodePageArriveWhole) {
  temporary_directory scratch;
  const std::string folder = scratch / (kGreek + " " + kJapanese);
  make_directory(folder);
  std::filesystem::copy_file(QUERN_EXE, folder + "/quern.exe");
  const std::string program = folder + "/quern.exe";
  const std::string synopsis =
      windows_path(program) + " [-h] [-v]... [-n{s|d}{s|c|f|y|d}]... -o <dir> -r <root>\r\nQuern Version 0.0.9\r\n";

  const run_result help = run_windows({"-h", "--nonsense"}, program);
  EXPECT_EQ(help.standard_error, synopsis + kHelpLines);
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.standard_output, "");

  const std::pair<std::vector<std::string>, std::string> mistakes[] = {
      {{}, "Outputdirectory fehlt"},
      {{"-o", scratch / "out", "-r"}, "Rootdirectory fehlt"},
      {{"-vv"}, "Unbekannte Option \"-vv\""},
      {{"-ndy", "-ndd", "-nsy", "-nsd", "-" + kGreek}, "Unbekannte Option \"-" + kGreek + "\""}};
  for (const auto& [arguments, message] : mistakes) {
    const run_result result = run_windows(arguments, program);
    EXPECT_EQ(result.standard_error, synopsis + message + "\r\n");
    EXPECT_EQ(result.exit_status, 2);
  }
  EXPECT_FALSE(exists(scratch / "out"));
}

// Every kind of entry Wine can show, compared with the native build's
// report of the same tree without its link: the Windows build must write
// exactly the pages the native one writes without link and device columns.
TEST(WindowsScan, ReportEqualsTheNativeOneWithoutLinkAndDeviceColumns) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_file(root + "/big", 5 * kGiB);
  make_file(root + "/mid", 3 * kGiB);  // negative as a signed 32-bit size
  make_file(root + "/" + kGreek, 3);
  // One subdirectory per directory, so that both builds number them alike
  // whatever order their listings take.
  std::string deep = root + "/" + kJapanese;
  make_directory(deep);
  make_file(deep + "/" + kGreekFile, 2);
  for (int level = 1; level <= 6; ++level) {
    deep += "/" + std::string(60, static_cast<char>('a' + level));
    make_directory(deep);
    make_file(deep + "/f", level);
  }
  ASSERT_GT(deep.size(), 400u);
  const run_result native = run_native({"-v", "-v", "-ndy", "-ndd", "-o", scratch / "native", "-r", root});
  ASSERT_EQ(native.exit_status, 0) << native.standard_error;

  // Wine shows a link to a directory as a reparse point, which is neither
  // entered nor counted. The output directory lies past 260 characters.
  make_symlink(kJapanese, root + "/link");
  std::string output = scratch.path();
  for (const char part : {'o', 'p', 'q'}) make_directory(output += "/" + std::string(100, part));
  output += "/" + kJapanese;
  const run_result windows = run_windows({"-v", "-v", "-nsy", "-nsd", "-o", output, "-r", root});
  EXPECT_EQ(windows.exit_status, 0);
  EXPECT_EQ(without_elapsed(windows.standard_error), without_elapsed(native.standard_error));
  EXPECT_NE(windows.standard_error.find("** detecting directory " + root + "/" + kJapanese + "\r\n"),
            std::string::npos);

  const std::vector<std::string> files = list_directory(output);
  EXPECT_EQ(files, list_directory(scratch / "native"));
  EXPECT_EQ(files.size(), 4u * 7 + 3);  // no page sorted by links or other entries
  for (const std::string& name : files)
    EXPECT_EQ(output_file(output + "/" + name), output_file(scratch / "native/" + name)) << name;
  // 5 GiB + 3 GiB + 3 + 2 + (1 + ... + 6) bytes in 10 files and 7 directories.
  EXPECT_NE(totals(output).find("<td class=\"tdbytes\">8.589.934.618</td>\r\n</tr>\r\n"
                                "<tr>\r\n <td class=\"tdinfo\">Dateien</td>\r\n <td class=\"tdfiles\">10</td>\r\n"
                                "</tr>\r\n<tr>\r\n <td class=\"tdinfo\">Unterverzeichnisse</td>\r\n"
                                " <td class=\"tdsubdir\">7</td>"),
            std::string::npos)
      << totals(output);
}

// The caps on pages give the same report on Windows: the same pages, links
// turned into names, and the same line on how many directories got pages.
TEST(WindowsScan, CappedReportEqualsTheNativeOne) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  // One subdirectory per directory, so that both builds number them alike;
  // the second level is too small for pages, the third too deep.
  std::string deep = root;
  for (const int64_t size : {int64_t{5} << 30, int64_t{5} << 20, int64_t{5} << 10, int64_t{1000}, int64_t{5}}) {
    make_directory(deep);
    make_file(deep + "/f", size);
    deep += "/" + kGreek + std::to_string(size);
  }
  const std::vector<std::string> arguments = {"-v", "-ndy", "-ndd", "--depth", "2", "--min-size", "6K", "-r", root};
  std::vector<std::string> native_arguments = arguments, windows_arguments = arguments;
  native_arguments.insert(native_arguments.end(), {"-o", scratch / "native"});
  windows_arguments.insert(windows_arguments.end(), {"-o", scratch / "windows"});
  const run_result native = run_native(native_arguments);
  const run_result windows = run_windows(windows_arguments);
  ASSERT_EQ(native.exit_status, 0) << native.standard_error;
  EXPECT_EQ(windows.exit_status, 0);
  EXPECT_EQ(without_elapsed(windows.standard_error), without_elapsed(native.standard_error));
  EXPECT_NE(windows.standard_error.find("* Seiten fuer 2 von 5 Verzeichnissen\r\n"), std::string::npos)
      << windows.standard_error;
  const std::vector<std::string> files = list_directory(scratch / "windows");
  EXPECT_EQ(files, list_directory(scratch / "native"));
  for (const std::string& name : files)
    EXPECT_EQ(output_file(scratch / ("windows/" + name)), output_file(scratch / ("native/" + name))) << name;
}

// The rows of a page by their names and changes, whatever pages they link to.
std::string rows_and_changes(const std::string& page) {
  std::string rows;
  for (size_t at = page.find("<tr"); at != std::string::npos; at = page.find("<tr", at + 1)) {
    const std::string row = page.substr(at, page.find("</tr>", at) - at);
    for (size_t cell = row.find("\">"); cell != std::string::npos; cell = row.find("\">", cell + 1)) {
      const size_t end = row.find('<', cell);
      rows += row.substr(cell + 2, end - cell - 2) + "|";
    }
    rows += "\n";
  }
  return rows;
}

// The summaries are the same files on Windows, and a comparison shows the
// same changes; one that cannot be made fails as it does natively.
TEST(WindowsScan, SummariesAndComparisonsEqualTheNativeOnes) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  for (const std::string& name :
       std::vector<std::string>{"", "/" + kGreek, "/" + kJapanese, "/gone", "/" + kJapanese + "/x"})
    make_directory(root + name);
  make_file(root + "/" + kGreek + "/" + kGreekFile, 5 * kGiB);
  make_file(root + "/gone/f", 7);
  const std::vector<std::string> columns = {"-ndy", "-ndd", "-r", root};
  for (const std::string build : {"native", "windows"}) {
    std::vector<std::string> arguments = columns;
    arguments.insert(arguments.end(), {"-o", scratch / (build + "1")});
    ASSERT_EQ((build == "native" ? run_native(arguments) : run_windows(arguments)).exit_status, 0) << build;
  }
  EXPECT_EQ(output_file(scratch / "windows1/summary.txt"), output_file(scratch / "native1/summary.txt"));

  make_file(root + "/" + kJapanese + "/x/grown", 3 * kGiB);
  std::filesystem::remove_all(root + "/gone");
  make_directory(root + "/new");
  for (const std::string build : {"native", "windows"}) {
    std::vector<std::string> arguments = columns;
    arguments.insert(arguments.end(), {"--compare", scratch / (build + "1"), "--summary", scratch / (build + ".full"),
                                       "-o", scratch / (build + "2")});
    const run_result result = build == "native" ? run_native(arguments) : run_windows(arguments);
    EXPECT_EQ(result.standard_error, "") << build;
    ASSERT_EQ(result.exit_status, 0) << build;
  }
  EXPECT_EQ(output_file(scratch / "windows2/summary.txt"), output_file(scratch / "native2/summary.txt"));
  const std::string by_growth = rows_and_changes(read_file(scratch / "windows2/d1_sg.html"));
  EXPECT_EQ(by_growth, rows_and_changes(read_file(scratch / "native2/d1_sg.html")));
  EXPECT_NE(by_growth.find(kJapanese + "|1|3.221.225.472|+3.221.225.472|1|+1|"), std::string::npos) << by_growth;
  EXPECT_NE(by_growth.find("gone |entfernt|||-7||-1|"), std::string::npos) << by_growth;
  // The walks may complete directories in another order; the lines are the same.
  const auto lines = [](const std::string& path) {
    std::vector<std::string> sorted;
    std::istringstream in(output_file(path));
    for (std::string line; std::getline(in, line);) sorted.push_back(line);
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  };
  EXPECT_EQ(lines(scratch / "windows.full"), lines(scratch / "native.full"));
  EXPECT_EQ(lines(scratch / "windows.full").size(), 13u);

  const std::vector<std::string> broken = {"--compare", scratch / "missing", "-o", scratch / "out", "-r", root};
  const run_result native = run_native(broken);
  const run_result windows = run_windows(broken);
  EXPECT_EQ(windows.standard_error, native.standard_error);
  EXPECT_EQ(windows.standard_error,
            "Vergleich mit " + scratch / "missing" + " nicht moeglich: No such file or directory\r\n");
  EXPECT_EQ(windows.exit_status, 2);
  EXPECT_FALSE(exists(scratch / "out"));
}

// The root as a Windows user may give it: with a drive and backslashes,
// relative to the current directory, or relative to the current directory
// of a drive.
TEST(WindowsScan, EveryFormOfTheRootScansTheSameTree) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_directory(root + "/a");
  make_file(root + "/a/f", 5);
  make_file(root + "/g", 7);
  const std::string relative = std::filesystem::relative(root).string();
  const std::string forms[] = {windows_path(root) + "\\", windows_path(relative).substr(2),
                               "Z:" + windows_path(relative).substr(2)};
  const run_result first = run_windows({"-o", scratch / "plain", "-r", root});
  ASSERT_EQ(first.exit_status, 0);
  EXPECT_NE(totals(scratch / "plain").find("<td class=\"tdbytes\">12</td>"), std::string::npos);
  for (size_t i = 0; i < std::size(forms); ++i) {
    const std::string output = scratch / ("form" + std::to_string(i));
    const run_result result = run_windows({"-o", output, "-r", forms[i]});
    EXPECT_EQ(result.standard_error, "") << forms[i];
    EXPECT_EQ(totals(output), totals(scratch / "plain")) << forms[i];
  }
}

TEST(WindowsRun, ExitStatusesAndFailureMessages) {
  temporary_directory scratch;
  make_directory(scratch / "exists");
  make_file(scratch / "file", 1);
  const run_result existing = run_windows({"-v", "-v", "-v", "-o", scratch / "exists", "-r", scratch.path()});
  EXPECT_EQ(existing.standard_error,
            "*** try to create outputdirectory\r\nErstellen des Outpudirectorys nicht moeglich: File exists\n");
  EXPECT_EQ(existing.exit_status, 2);
  const run_result orphan = run_windows({"-o", scratch / "missing/out", "-r", scratch.path()});
  EXPECT_EQ(orphan.standard_error, "Erstellen des Outpudirectorys nicht moeglich: No such file or directory\n");
  EXPECT_EQ(orphan.exit_status, 2);

  const run_result absent = run_windows({"-o", scratch / "out1", "-r", scratch / "absent"});
  EXPECT_EQ(absent.standard_error, "Konnte Verzeichnis nicht oeffnen: No such file or directory\n");
  EXPECT_EQ(absent.exit_status, 1);
  EXPECT_EQ(list_directory(scratch / "out1"),
            (std::vector<std::string>{"d1_sb.html", "d1_sc.html", "d1_sf.html", "d1_sn.html", "index.html",
                                      "styles.css", "summary.txt"}));
  const run_result not_directory = run_windows({"-o", scratch / "out2", "-r", scratch / "file"});
  EXPECT_EQ(not_directory.standard_error, "Konnte Verzeichnis nicht oeffnen: Not a directory\n");
  EXPECT_EQ(not_directory.exit_status, 1);

  // Listings here tell nothing of other names, so counting once is refused;
  // staying on one file system and threads work as anywhere.
  const run_result once = run_windows({"--hard-links-once", "-o", scratch / "out3", "-r", scratch.path()});
  EXPECT_TRUE(once.standard_error.ends_with("Option \"--hard-links-once\" ist auf dieser Plattform nicht moeglich\r\n"))
      << once.standard_error;
  EXPECT_EQ(once.exit_status, 2);
  EXPECT_FALSE(exists(scratch / "out3"));
  const run_result one_file_system = run_windows({"-x", "-v", "-j", "4", "-o", scratch / "out4", "-r", scratch.path()});
  EXPECT_TRUE(one_file_system.standard_error.starts_with("* scanning root directory\r\n* generating HTML files\r\n"))
      << one_file_system.standard_error;
  EXPECT_EQ(one_file_system.exit_status, 0);
}

// Windows' directory listings tell no owners, so a scan refuses them; a
// listing that names them, read from a file or standard input, gives the
// native build's report, and so does a later listing compared with it.
TEST(WindowsListing, OwnersComeFromAListingAndAScanRefusesThem) {
  temporary_directory scratch;
  const run_result refused = run_windows({"--owners", "-o", scratch / "refused", "-r", scratch.path()});
  EXPECT_TRUE(refused.standard_error.ends_with("Option \"--owners\" ist auf dieser Plattform nicht moeglich\r\n"))
      << refused.standard_error;
  EXPECT_EQ(refused.exit_status, 2);
  EXPECT_FALSE(exists(scratch / "refused"));

  const std::string records[] = {"d 0 root /data", "f 5368709120 " + kGreek + " /data/" + kJapanese + "/f",
                                 "f 3 1000 /data/a/b/f", "l 4 1000 /data/l", "f 7 root /data/a/g"};
  for (const char terminator : {'\0', '\n'}) {
    const std::string listing = scratch / ("listing" + std::to_string(terminator));
    {
      std::ofstream out(listing, std::ios::binary);
      for (const std::string& record : records) out << record << terminator;
    }
    const std::string option = terminator == '\0' ? "--listing" : "--listing-lines";
    const std::string native_out = scratch / ("native" + std::to_string(terminator));
    const std::string windows_out = scratch / ("windows" + std::to_string(terminator));
    const run_result native =
        run_native({"-ndy", "-ndd", "--owners", option, listing, "-o", native_out, "-r", "/data"});
    ASSERT_EQ(native.exit_status, 0) << native.standard_error;
    // The file by its Windows name; the lines through standard input.
    const bool from_file = terminator == '\0';
    ::setenv("LC_ALL", "C.UTF-8", 1);
    const run_result windows =
        run_quern({.arguments = {QUERN_WINE, QUERN_EXE, "--owners", option, from_file ? windows_path(listing) : "-",
                                 "-o", windows_out, "-r", "/data"},
                   .standard_input = from_file ? "" : listing});
    EXPECT_EQ(windows.standard_error, "");
    EXPECT_EQ(windows.exit_status, 0);
    const std::vector<std::string> files = list_directory(windows_out);
    EXPECT_EQ(files, list_directory(native_out));
    for (const std::string& name : files)
      EXPECT_EQ(output_file(windows_out + "/" + name), output_file(native_out + "/" + name)) << name;
    EXPECT_NE(read_file(windows_out + "/index.html").find("<td class=\"tdownername\">" + kGreek + "</td>"),
              std::string::npos);
  }

  // A week later: one owner's file grew, another's is gone, a new owner came.
  const std::string later = scratch / "later";
  const std::string later_records[] = {"d 0 root /data", "f 6442450944 " + kGreek + " /data/" + kJapanese + "/f",
                                       "l 4 1000 /data/l", "f 7 root /data/a/g", "f 9 2000 /data/a/h"};
  {
    std::ofstream out(later, std::ios::binary);
    for (const std::string& record : later_records) out << record << '\0';
  }
  // Both compare with the same report: the index page names when it began.
  const std::string earlier = scratch / "windows0";
  const std::string native_later = scratch / "native_later";
  const run_result native = run_native(
      {"-ndy", "-ndd", "--owners", "--listing", later, "--compare", earlier, "-o", native_later, "-r", "/data"});
  ASSERT_EQ(native.exit_status, 0) << native.standard_error;
  const std::string windows_later = scratch / "windows_later";
  const run_result windows = run_windows({"--owners", "--listing", windows_path(later), "--compare",
                                          windows_path(earlier), "-o", windows_later, "-r", "/data"});
  EXPECT_EQ(windows.standard_error, "");
  EXPECT_EQ(windows.exit_status, 0);
  const std::vector<std::string> files = list_directory(windows_later);
  EXPECT_EQ(files, list_directory(native_later));
  for (const std::string& name : files)
    EXPECT_EQ(output_file(windows_later + "/" + name), output_file(native_later + "/" + name)) << name;
  EXPECT_NE(read_file(windows_later + "/index.html").find("+1.073.741.824"), std::string::npos);
}

// On a console the text goes out as characters: raw UTF-8 bytes would be
// read in the console's code page and garbled. script(1) gives Wine a
// terminal, which it presents as a console.
TEST(WindowsConsole, NamesReachAConsoleAsTheyAre) {
  temporary_directory scratch;
  const std::string root = scratch / kGreek;
  make_directory(root);
  const std::vector<std::string> words = {QUERN_WINE, QUERN_EXE, "-v", "-v", "-o", scratch / "out", "-r", root};
  std::string command;
  for (const std::string& word : words) command += " '" + word + "'";  // quoted for the shell script(1) starts
  ::setenv("LC_ALL", "C.UTF-8", 1);
  const run_result result = run_quern({{"script", "-qec", command, scratch / "transcript"}});
  ASSERT_EQ(result.exit_status, 0) << result.standard_output << result.standard_error;
  const std::string transcript = read_file(scratch / "transcript");
  EXPECT_NE(transcript.find("** scanning " + root), std::string::npos) << transcript;
}

}  // namespace
}  // namespace quern_test
