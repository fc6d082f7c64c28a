#include <unistd.h>

#include <gtest/gtest.h>

#include "quern_process.h"
#include "support/cases.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

run_result run_native(const std::vector<std::string>& arguments, const std::string& directory,
                      const std::string& input) {
  return run_quern({.arguments = arguments,
                    .unprivileged = true,
                    // A run that hangs fails its case rather than outlast the suite.
                    .timeout_seconds = 120,
                    .standard_input = input,
                    .working_directory = directory,
                    .program_name = "quern"});
}

bool tidy_installed() {
  static const bool installed = run_tool({"tidy", "-v"}) != 127;
  return installed;
}

// Every report holds together: its links resolve, its figures add up, and
// tidy finds no error in its markup (warnings, such as tables without a
// summary, are allowed).
std::string report_holds_together(const std::string& directory) {
  const std::string output = directory + "/out";
  if (!exists(output + "/index.html")) return "";
  if (std::string fault = report_fault(output); !fault.empty()) return fault;
  if (!tidy_installed()) return in_ci() ? "tidy is not installed" : "";
  for (const std::string& file : list_directory(output)) {
    if (file.ends_with(".html") && run_tool({"tidy", "-errors", "-q", output + "/" + file}) > 1)
      return "tidy finds errors in " + file;
  }
  return "";
}

class Cases : public testing::TestWithParam<std::string> {};

TEST_P(Cases, LeaveWhatIsExpected) {
  if (case_needs_root(GetParam()) && ::geteuid() != 0) GTEST_SKIP() << "files of other owners need root";
  EXPECT_EQ(check_case(GetParam(), "expected", run_native, report_holds_together), "");
}

INSTANTIATE_TEST_SUITE_P(Report, Cases, testing::ValuesIn(case_names("expected")),
                         [](const testing::TestParamInfo<std::string>& name_of) {
                           std::string name = name_of.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace quern_test
