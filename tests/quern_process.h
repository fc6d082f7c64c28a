#pragma once

#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/scratch_tree.h"

// The end-to-end tests' way to run the program they test, QUERN_BINARY.
namespace quern_test {

// Extra arguments that every end-to-end run of a whole report is repeated
// with, one run per entry; the empty entry runs Quern as it starts by default.
inline const std::vector<std::vector<std::string>> thread_variants = {{}, {"-j", "1"}};

// The variant's arguments, then these.
inline std::vector<std::string> with_variant(const std::vector<std::string>& variant,
                                             const std::vector<std::string>& arguments) {
  std::vector<std::string> all = variant;
  all.insert(all.end(), arguments.begin(), arguments.end());
  return all;
}

inline run_result run_quern(const run_options& options) { return run_program(QUERN_BINARY, options); }

}  // namespace quern_test
