// The summary reader on any bytes, handed out in pieces of any size: it
// must never crash, every rejection must name a line of the file, and
// whatever it takes must read back the same once written again.
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "report/old_summary.h"
#include "report/summary_format.h"
#include "support/fake_file_system.h"

namespace {

bool take(const std::string& bytes, size_t chunk, quern::old_summary& summary, quern::summary_problem& problem) {
  quern::fake_file_system files;
  files.inputs["summary"] = {bytes, chunk};
  std::unique_ptr<quern::input_file> input;
  require(files.open_input_file("summary", input).is_ok(), "the fake opens its input");
  quern::status failure;
  const bool taken = summary.take(*input, failure, problem);
  require(failure.is_ok(), "an input that reads whole is never a failure to read");
  return taken;
}

// The summary as the writer gives it: the header read, and each directory
// line from its path and figures, in the order read.
std::string written_again(const quern::old_summary& summary) {
  std::string text;
  quern::append_summary_header(text, summary.header());
  std::vector<quern::summary_owner> owners;
  std::vector<quern::summary_age> ages;
  std::string owners_value, ages_value;
  for (uint32_t line = 0; line < summary.directories(); ++line) {
    std::optional<std::string_view> owners_column, ages_column;
    if (summary.header().owners) {
      owners_value.clear();
      if (summary.owners(line, owners)) {
        quern::append_summary_owners(owners_value, owners);
      } else {
        owners_value += quern::kOwnersNotKept;
      }
      owners_column = owners_value;
    }
    if (summary.header().ages) {
      ages_value.clear();
      if (summary.ages(line, ages)) {
        quern::append_summary_ages(ages_value, ages);
      } else {
        ages_value += quern::kAgesNotKept;
      }
      ages_column = ages_value;
    }
    quern::append_summary_line(text, summary.path(line), summary.figures(line), owners_column, ages_column);
  }
  quern::append_summary_end(text, summary.directories());
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input input(data, size);
  const uint8_t piece = input.byte();
  const size_t chunk = piece == 0 ? SIZE_MAX : piece;
  const std::string bytes(input.bytes(size));

  quern::old_summary summary;
  quern::summary_problem problem;
  if (!take(bytes, chunk, summary, problem)) {
    const size_t lines = static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) +
                         (bytes.empty() || bytes.back() != '\n' ? 1 : 0);
    require(problem.reason != nullptr, "a rejection says why");
    require(problem.line >= 1 && problem.line <= lines, "a rejection names a line of the file");
    return 0;
  }

  const std::string text = written_again(summary);
  quern::old_summary again;
  require(take(text, chunk, again, problem), "what was taken is taken again once written");
  require(again.header() == summary.header(), "the header reads back the same");
  require(again.directories() == summary.directories(), "every directory reads back");
  for (uint32_t line = 0; line < summary.directories(); ++line) {
    require(again.path(line) == summary.path(line), "each path reads back the same");
    require(again.figures(line) == summary.figures(line), "each directory's figures read back the same");
    std::vector<quern::summary_owner> owners, owners_again;
    require(again.owners(line, owners_again) == summary.owners(line, owners) && owners_again == owners,
            "each directory's owners read back the same");
    std::vector<quern::summary_age> ages, ages_again;
    require(again.ages(line, ages_again) == summary.ages(line, ages) && ages_again == ages,
            "each directory's ages read back the same");
    require(summary.find(summary.path(line)) == line, "each directory is found by its path");
    require(
        again.first_child(line) == summary.first_child(line) && again.next_sibling(line) == summary.next_sibling(line),
        "the directories stand in the same tree");
  }
  require(written_again(again) == text, "a summary written again is the same text");
  return 0;
}
