#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/process.h"

// Whole reports as data. A case is a directory below tests/cases:
//
//   arguments         the program's arguments, one per line
//   tree              entries made before the run, one per line: "d PATH",
//                     "f SIZE PATH", "l TARGET PATH", "p PATH" (a FIFO),
//                     "s PATH" (a socket), "h TARGET PATH" (another name of
//                     a file), "o USER PATH" (its owner's number, as root
//                     only) and "x MODE PATH" (octal permission bits, set
//                     once everything is made)
//   standard-input    given to the program as its standard input
//   expected/         what the run leaves: exit-status, standard-output,
//                     standard-error and every file it wrote, the output
//                     directory's below its name
//   expected-windows/ the same for the Windows build, for the cases that
//                     run under Wine too
//
// and anything else is an input copied beside it, such as a listing or an
// earlier summary. The program runs in a fresh directory holding the inputs
// and the tree, under the name "quern", as user nobody when started as root
// (so that permission bits bite), once as the arguments say and once with
// "-j 1" before them; both runs must leave what is expected. Summaries'
// start times and the elapsed seconds are masked.
//
// QUERN_UPDATE_CASES=1 in the environment writes the expected files anew
// from the first run instead; their difference is read like code.
namespace quern_test {

// Runs the program with the arguments in the directory, standard input from
// the file if one is named.
using case_launcher = std::function<run_result(const std::vector<std::string>& arguments, const std::string& directory,
                                               const std::string& input)>;

// The cases that have an expected directory of this name, by name.
std::vector<std::string> case_names(const std::string& expected);

// Whether the case's tree has entries of other owners, which only root can
// make.
bool case_needs_root(const std::string& name);

// Runs the case and holds what it leaves against the expected directory, or
// writes that anew. Every run's directory goes to `also` first, for checks
// of its own. Returns what is wrong, or nothing.
std::string check_case(const std::string& name, const std::string& expected, const case_launcher& launch,
                       const std::function<std::string(const std::string& directory)>& also = nullptr);

}  // namespace quern_test
