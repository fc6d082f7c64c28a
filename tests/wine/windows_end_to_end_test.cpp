#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "quern_process.h"
#include "support/cases.h"

// The Windows build under Wine: the cases that have an expected-windows
// directory, from the same inputs as the native build, and what only
// Windows has: roots with drives, and a console that takes characters.
namespace quern_test {
namespace {

// The name Wine gives a path of this machine: drive Z: is its root.
std::string windows_path(const std::string& path) {
  std::string result = "Z:" + path;
  std::replace(result.begin(), result.end(), '/', '\\');
  return result;
}

run_result run_windows(std::vector<std::string> arguments, const std::string& directory = "",
                       const std::string& input = "") {
  // Wine reads the command line in the locale's character set.
  ::setenv("LC_ALL", "C.UTF-8", 1);
  arguments.insert(arguments.begin(), {QUERN_WINE, QUERN_EXE});
  run_result result = run_quern({.arguments = arguments, .standard_input = input, .working_directory = directory});
  // Windows gives the program its own full name.
  const std::string name = windows_path(QUERN_EXE);
  for (size_t at = result.standard_error.find(name); at != std::string::npos; at = result.standard_error.find(name))
    result.standard_error.replace(at, name.size(), "quern");
  return result;
}

class WindowsCases : public testing::TestWithParam<std::string> {};

TEST_P(WindowsCases, LeaveWhatIsExpected) {
  EXPECT_EQ(check_case(GetParam(), "expected-windows",
                       [](const std::vector<std::string>& arguments, const std::string& directory,
                          const std::string& input) { return run_windows(arguments, directory, input); }),
            "");
}

INSTANTIATE_TEST_SUITE_P(Report, WindowsCases, testing::ValuesIn(case_names("expected-windows")),
                         [](const testing::TestParamInfo<std::string>& name_of) {
                           std::string name = name_of.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

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
  ASSERT_EQ(run_windows({"-o", scratch / "plain", "-r", root}).exit_status, 0);
  const std::string index = read_file(scratch / "plain/index.html");
  const std::string totals = index.substr(index.find("<table"));
  EXPECT_NE(totals.find("<td class=\"tdbytes\">12</td>"), std::string::npos);
  for (size_t i = 0; i < std::size(forms); ++i) {
    const std::string output = scratch / ("form" + std::to_string(i));
    const run_result result = run_windows({"-o", output, "-r", forms[i]});
    EXPECT_EQ(result.standard_error, "") << forms[i];
    const std::string form_index = read_file(output + "/index.html");
    EXPECT_EQ(form_index.substr(form_index.find("<table")), totals) << forms[i];
  }
}

// On a console the text goes out as characters: raw UTF-8 bytes would be
// read in the console's code page and garbled. script(1) gives Wine a
// terminal, which it presents as a console.
TEST(WindowsConsole, NamesReachAConsoleAsTheyAre) {
  temporary_directory scratch;
  const std::string root = scratch / "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1";  // Ωμέγα
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
