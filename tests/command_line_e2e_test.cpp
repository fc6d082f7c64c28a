#include <gtest/gtest.h>

#include "quern_process.h"

namespace quern_test {
namespace {

const std::string kSynopsis = std::string(QUERN_BINARY) +
                              " [-h] [-v]... [-n{s|d}{s|c|f|y|d}]... -o <dir> -r <root>\r\nQuern Version 0.0.9\r\n";

TEST(CommandLineEndToEnd, MistakesPrintTheSynopsisAndTheMessageAndFail) {
  temporary_directory scratch;
  const run_result none = run_quern({});
  EXPECT_EQ(none.standard_error, kSynopsis + "Outputdirectory fehlt\r\n");
  EXPECT_EQ(none.exit_status, 2);
  EXPECT_EQ(none.standard_output, "");

  const run_result only_output = run_quern({{"-o", scratch / "out"}});
  EXPECT_EQ(only_output.standard_error, kSynopsis + "Rootdirectory fehlt\r\n");
  EXPECT_EQ(only_output.exit_status, 2);
  EXPECT_FALSE(exists(scratch / "out"));

  const run_result unknown = run_quern({{"-x", "-h"}});
  EXPECT_EQ(unknown.standard_error, kSynopsis + "Unbekannte Option \"-x\"\r\n");
  EXPECT_EQ(unknown.exit_status, 2);
}

TEST(CommandLineEndToEnd, HelpSucceedsAndStopsReading) {
  const run_result help = run_quern({{"-h", "--nonsense"}});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.standard_error.rfind(kSynopsis + " -h             Diese Hilfe\r\n", 0), 0u);
  EXPECT_EQ(help.standard_error.find("nonsense"), std::string::npos);
  EXPECT_EQ(help.standard_output, "");
}

TEST(CommandLineEndToEnd, ExistingOutputDirectoryStopsTheRunBeforeAnythingIsWritten) {
  temporary_directory scratch;
  make_directory(scratch / "out");
  make_directory(scratch / "root");
  const run_result result = run_quern({{"-v", "-o", scratch / "out", "-r", scratch / "root"}});
  EXPECT_EQ(result.standard_error, "Erstellen des Outpudirectorys nicht moeglich: File exists\n");
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_TRUE(list_directory(scratch / "out").empty());

  const run_result no_parent = run_quern({{"-o", scratch / "missing/out", "-r", scratch / "root"}});
  EXPECT_EQ(no_parent.standard_error, "Erstellen des Outpudirectorys nicht moeglich: No such file or directory\n");
  EXPECT_EQ(no_parent.exit_status, 2);
}

TEST(CommandLineEndToEnd, LaterOutputWinsAndValuesAreTakenLiterally) {
  temporary_directory scratch;
  make_directory(scratch / "root");
  const run_result twice = run_quern({{"-o", scratch / "first", "-o", scratch / "second", "-r", scratch / "root"}});
  EXPECT_EQ(twice.exit_status, 0) << twice.standard_error;
  EXPECT_FALSE(exists(scratch / "first"));
  EXPECT_TRUE(exists(scratch / "second/index.html"));

  run_options dash_value{{"-o", "-v", "-r", scratch / "root"}};
  dash_value.working_directory = scratch.path();
  const run_result named = run_quern(dash_value);
  EXPECT_EQ(named.exit_status, 0);
  EXPECT_EQ(named.standard_error, "");  // -v was the directory's name, not a verbosity
  EXPECT_TRUE(exists(scratch / "-v/styles.css"));
}

TEST(CommandLineEndToEnd, ProgressAtLevelOneAndOutputDirectoryTraceAtLevelThree) {
  temporary_directory scratch;
  make_directory(scratch / "root");
  const run_result one = run_quern({{"-v", "-o", scratch / "out1", "-r", scratch / "root"}});
  // Whole seconds: a short run may still straddle a second boundary.
  const std::string progress = "* scanning root directory\r\n* generating HTML files\r\n* process completed in ";
  EXPECT_TRUE(one.standard_error == progress + "0 seconds\r\n" || one.standard_error == progress + "1 seconds\r\n")
      << one.standard_error;
  const run_result three = run_quern({{"-v", "-v", "-v", "-o", scratch / "out3", "-r", scratch / "root"}});
  EXPECT_EQ(three.standard_error.rfind("*** try to create outputdirectory\r\n", 0), 0u);
  EXPECT_EQ(three.exit_status, 0);
}

TEST(CommandLineEndToEnd, MissingRootStillWritesTheReportAndReportsTheGap) {
  temporary_directory scratch;
  const run_result result = run_quern({{"-o", scratch / "out", "-r", scratch / "absent"}});
  EXPECT_EQ(result.standard_error, "Konnte Verzeichnis nicht oeffnen: No such file or directory\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(exists(scratch / "out/styles.css"));
  EXPECT_TRUE(exists(scratch / "out/index.html"));
}

}  // namespace
}  // namespace quern_test
