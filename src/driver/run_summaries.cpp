#include "driver/run_summaries.h"

#include <string>

namespace quern {

namespace {

// The options that change figures, and, for the summary beside the pages,
// those that change which directories have lines, as given.
std::string summary_options(const settings& config, std::string_view scope) {
  std::string text;
  const auto add = [&text](std::string_view option, const std::string* value) {
    if (!text.empty()) text += ' ';
    text += option;
    if (value != nullptr) text += ' ' + *value;
  };
  if (config.one_file_system) add("-x", nullptr);
  if (config.hard_links_once) add("--hard-links-once", nullptr);
  if (scope == kScopeReport && config.page_depth) add("--depth", &config.page_depth_given);
  if (scope == kScopeReport && config.page_min_size) add("--min-size", &config.page_min_size_given);
  return text;
}

// A summary of other options or of another root is compared all the same;
// one line says so.
void say_differences(const settings& config, const old_summary& earlier, diagnostics& diag) {
  const summary_header& then = earlier.header();
  const auto say = [&](const char* what, const std::string& before, const std::string& now) {
    std::string line = "Vergleich mit " + *config.compare + ": " + what + " (vorher \"";
    append_summary_escaped(line, before);
    line += "\", jetzt \"";
    append_summary_escaped(line, now);
    line += "\")\r\n";
    diag.write(line);
  };
  const std::string options = summary_options(config, then.scope);
  if (then.options != options) say("andere Optionen", then.options, options);
  if (then.root != config.rootdirectory) say("andere Wurzel", then.root, config.rootdirectory);
}

}  // namespace

summary_header summary_of_run(const settings& config, std::time_t begun, std::string_view scope) {
  return {config.rootdirectory, summary_time(begun), config.listing ? "listing" : "scan",
          summary_options(config, scope), std::string(scope)};
}

bool read_comparison(const settings& config, file_system& files, diagnostics& diag,
                     std::unique_ptr<old_summary>& earlier) {
  if (!config.compare) return true;
  std::string message;
  earlier = read_old_summary(files, *config.compare, message);
  if (earlier == nullptr) {
    diag.report_failure_line(message);
    return false;
  }
  say_differences(config, *earlier, diag);
  return true;
}

std::unique_ptr<summary_writer> open_full_summary(const settings& config, file_system& files, diagnostics& diag,
                                                  std::time_t begun, owner_ledger* owners) {
  std::unique_ptr<summary_writer> full;
  if (!config.full_summary) return full;
  const status opened =
      summary_writer::open(files, *config.full_summary, true, summary_of_run(config, begun, kScopeFull), full, owners);
  if (!opened.is_ok()) diag.report_failure(kSummaryFailure, opened);
  if (full != nullptr && owners != nullptr) add_lines_with_owners(*owners, *full);
  return full;
}

void close_full_summary(std::unique_ptr<summary_writer>& full, diagnostics& diag) {
  if (full == nullptr) return;
  const status closed = full->finish();
  if (!closed.is_ok()) diag.report_failure(kSummaryFailure, closed);
  full.reset();
}

}  // namespace quern
