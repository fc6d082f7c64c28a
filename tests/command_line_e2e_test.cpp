#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "quern_process.h"

namespace quern_test {
namespace {

const std::string kSynopsis =
    std::string(QUERN_BINARY) + " [-h] [-v]... [-n{s|d}{s|c|f|y|d}]... -o <dir> -r <root>\r\nQuern Version 0.0.9\r\n";

// Reading stops at the first mistake, which fails, or help, which succeeds.
TEST(CommandLineEndToEnd, MistakesPrintTheSynopsisAndTheMessageAndHelpIsExact) {
  temporary_directory scratch;
  const std::string huge(100000, 'x');
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "Outputdirectory fehlt"},
      {{"-r", "root"}, "Outputdirectory fehlt"},
      {{"-o", scratch / "out"}, "Rootdirectory fehlt"},
      {{"-r", "root", "-o"}, "Outputdirectory fehlt"},
      {{"-o", scratch / "out", "-r"}, "Rootdirectory fehlt"},
      {{"-q", "-h"}, "Unbekannte Option \"-q\""},
      {{"-xv", "-o", scratch / "out", "-r", "root"}, "Unbekannte Option \"-xv\""},
      {{"-q", "--version"}, "Unbekannte Option \"-q\""},
      {{"--helpx"}, "Unbekannte Option \"--helpx\""},
      {{"--version=1"}, "Unbekannte Option \"--version=1\""},
      {{"-o", scratch / "out", "-r", "root", "--no-progress=0"}, "Unbekannte Option \"--no-progress=0\""},
      {{"-vv", "-o", scratch / "out", "-r", "root"}, "Unbekannte Option \"-vv\""},
      {{"-o", scratch / "out", "-r", "root", "-ndsx"}, "Unbekannte Option \"-ndsx\""},
      {{"-o", scratch / "out", "root"}, "Unbekannte Option \"root\""},
      {{"-o", scratch / "out", "-r", "root", ""}, "Unbekannte Option \"\""},
      {{"-o", scratch / "out", "-r", "root", "-j"}, "Threadanzahl fehlt"},
      {{"-j", "257", "-o", scratch / "out", "-r", "root"}, "Ungueltige Threadanzahl \"257\""},
      {{huge}, "Unbekannte Option \"" + huge + "\""}};
  for (const auto& [arguments, message] : cases) {
    const run_result result = run_quern({arguments});
    EXPECT_EQ(result.standard_error, kSynopsis + message + "\r\n");
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.standard_output, "");
  }

  const run_result late = run_quern({{"-o", scratch / "out", "-r", "root", "-h", "--nonsense"}});
  EXPECT_FALSE(exists(scratch / "out"));
  EXPECT_EQ(late.exit_status, 0);
  const run_result help = run_quern({{"-h", "--nonsense"}});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.standard_output, "");
  EXPECT_EQ(late.standard_error, help.standard_error);
  EXPECT_EQ(help.standard_error, kSynopsis +
                                     " -h             Diese Hilfe\r\n"
                                     " -v ...         Debugmeldungen auf stderr\r\n"
                                     " -o <dir>       Ausgabeverzeichnis\r\n"
                                     " -r <root>      Das Verzeichnis zum scannen\r\n"
                                     " -nd{s|c|f|y|d} No Display Switch\r\n"
                                     "                -nds Anzahl Bytes werden nicht angezeigt\r\n"
                                     "                -ndc Anzahl Subdirectorys werden nicht angezeigt\r\n"
                                     "                -ndf Anzahl Files werden nicht angezeigt\r\n"
                                     "                -ndy Anzahl Symlinks werden nicht angezeigt\r\n"
                                     "                -ndd Anzahl Devicefiles werden nicht angezeigt\r\n"
                                     " -ns{s|c|f|y|d} No Sort Switch\r\n"
                                     "                -nss Anzahl Bytes werden nicht sortiert\r\n"
                                     "                -nsc Anzahl Subdirectorys werden nicht sortiert\r\n"
                                     "                -nsf Anzahl Files werden nicht sortiert\r\n"
                                     "                -nsy Anzahl Symlinks werden nicht sortiert\r\n"
                                     "                -nsd Anzahl Devicefiles werden nicht sortiert\r\n");
}

// Asked for, so written on standard output; like -h they end the reading.
TEST(CommandLineEndToEnd, LongHelpAndVersionGoToStandardOutputAndEndTheReading) {
  temporary_directory scratch;
  const std::string short_help = run_quern({{"-h"}}).standard_error;
  const run_result help = run_quern({{"-o", scratch / "out", "--help", "-r", "root", "--nonsense"}});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.standard_error, "");
  EXPECT_FALSE(exists(scratch / "out"));
  ASSERT_TRUE(help.standard_output.starts_with(short_help));
  // One line per further option, its text in the column of the short help's
  // texts.
  const std::regex option_line(" (-[-a-z]+(?: <[a-z]+>)?) +([^ ].*)\r");
  std::vector<std::string> options;
  std::istringstream lines(help.standard_output.substr(short_help.size()));
  for (std::string line; std::getline(lines, line);) {
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(line, parts, option_line)) << line;
    EXPECT_EQ(parts.position(2), std::max<std::ptrdiff_t>(16, parts.length(1) + 2)) << line;
    options.push_back(parts[1]);
  }
  for (const std::string expected :
       {"--help", "--version", "--no-progress", "-j <n>", "-x", "--one-file-system", "--hard-links-once"}) {
    EXPECT_NE(std::find(options.begin(), options.end(), expected), options.end()) << expected;
  }
  EXPECT_TRUE(help.standard_output.ends_with("\r\n"));

  const run_result version = run_quern({{"--version", "-q"}});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_EQ(version.standard_output, "Quern Version 0.0.9\r\n");
  EXPECT_EQ(version.standard_error, "");

  // What was asked for and could not be delivered is a failure.
  const run_result full = run_quern({.arguments = {"--version"}, .standard_output_path = "/dev/full"});
  EXPECT_EQ(full.exit_status, 2);
  EXPECT_EQ(full.standard_error, "Ausgabe auf stdout nicht moeglich: No space left on device\n");
}

// The output directory is created first and must be new; a root that
// cannot be read still gets its report, and the run ends as a gap.
TEST(CommandLineEndToEnd, ExistingOutputDirectoryFailsAndMissingRootIsAGap) {
  temporary_directory scratch;
  const run_result gap = run_quern({{"-v", "-o", scratch / "out", "-r", scratch / "absent"}});
  // The elapsed whole seconds depend on the machine's load.
  const std::string progress =
      "* scanning root directory\r\nKonnte Verzeichnis nicht oeffnen: No such file or directory\n"
      "* generating HTML files\r\n* process completed in ";
  EXPECT_TRUE(gap.standard_error.starts_with(progress) && gap.standard_error.ends_with(" seconds\r\n") &&
              gap.standard_error.find_first_not_of("0123456789", progress.size()) ==
                  gap.standard_error.size() - std::string(" seconds\r\n").size())
      << gap.standard_error;
  EXPECT_EQ(gap.exit_status, 1);
  EXPECT_EQ(list_directory(scratch / "out"),
            (std::vector<std::string>{"d1_sb.html", "d1_sc.html", "d1_sd.html", "d1_sf.html", "d1_sl.html",
                                      "d1_sn.html", "index.html", "styles.css", "summary.txt"}));

  make_directory(scratch / "empty");
  const run_result failed = run_quern({{"-v", "-v", "-v", "-o", scratch / "empty", "-r", scratch / "out"}});
  EXPECT_EQ(failed.standard_error,
            "*** try to create outputdirectory\r\nErstellen des Outpudirectorys nicht moeglich: File exists\n");
  EXPECT_EQ(failed.exit_status, 2);
  EXPECT_TRUE(list_directory(scratch / "empty").empty());
}

}  // namespace
}  // namespace quern_test
