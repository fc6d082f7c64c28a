#include "driver/run_summaries.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "driver/option_table.h"
#include "report/summary_escaping.h"

namespace quern {

namespace {

// The value as the option takes it, or nothing where it does not.
std::optional<settings> taken(std::string_view option, const std::string& value) {
  for (const option_row& row : option_table()) {
    if (row.spellings[0] == nullptr || option != row.spellings[0] || row.take == nullptr) continue;
    settings config;
    if (row.take(config, value.c_str())) return config;
  }
  return std::nullopt;
}

// The options of a summary's header, one by one.
std::vector<std::string> words_of(std::string_view options) {
  std::vector<std::string> words;
  for (size_t start = 0; start <= options.size();) {
    const size_t end = std::min(options.find(' ', start), options.size());
    if (end > start) words.emplace_back(options.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

// Summaries keep their options as given; they compare by what the caps
// stand for: "--min-size 1K" is "--min-size 1024", "--depth 01" is
// "--depth 1" and "--min-size 0" no cap at all. A value that is not valid
// compares as it stands.
std::string comparable(std::string_view options) {
  const std::vector<std::string> words = words_of(options);
  std::string result;
  for (size_t at = 0; at < words.size(); ++at) {
    std::string word = words[at];
    if ((word == "--depth" || word == "--min-size") && at + 1 < words.size()) {
      std::string value = words[++at];
      if (const std::optional<settings> config = taken(word, value)) {
        if (config->page_min_size == byte_total()) continue;
        value.clear();
        if (config->page_depth) value = std::to_string(*config->page_depth);
        if (config->page_min_size) append_decimal(value, *config->page_min_size);
      }
      word += ' ' + value;
    }
    if (!result.empty()) result += ' ';
    result += word;
  }
  return result;
}

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
  if (config.allocated) add("--allocated", nullptr);
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
  if (comparable(then.options) != comparable(options)) say("andere Optionen", then.options, options);
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
  const std::vector<std::string> then = words_of(earlier->header().options);
  const bool allocated_then = std::find(then.begin(), then.end(), "--allocated") != then.end();
  earlier->set_bytes_compare(allocated_then == config.allocated);
  return true;
}

bool make_full_summary(const settings& config, file_system& files, diagnostics& diag, full_summary& full) {
  if (!config.full_summary) return true;
  const std::string& path = *config.full_summary;
  const auto refuse = [&diag](const std::string& named, status cause) {
    std::string line = "Zusammenfassung \"";
    line += named;
    line += "\" nicht moeglich: ";
    line += cause.description();
    line += "\r\n";
    diag.report_failure_line(line);
    return false;
  };
  status result = files.open_directory_of(path, full.directory, full.name);
  if (!result.is_ok()) return refuse(path, result);
  uint64_t device = 0;
  uint64_t inode = 0;
  result = full.directory->identity_of(full.name, device, inode);
  if (result.is_ok()) return refuse(path, status::error(EEXIST));
  if (result.error_number() != ENOENT) return refuse(path, result);
  const std::string unfinished = full.name + std::string(kUnfinishedSuffix);
  result = full.directory->create_file(unfinished, full.file);
  if (!result.is_ok()) return refuse(path + std::string(kUnfinishedSuffix), result);
  result = full.directory->identity_of(unfinished, full.device, full.inode);
  if (!result.is_ok()) return refuse(path + std::string(kUnfinishedSuffix), result);
  return true;
}

void start_full_summary(const settings& config, std::time_t begun, detail_ledger* ledger, full_summary& full) {
  if (full.file == nullptr) return;
  full.writer = std::make_unique<summary_writer>(std::move(full.file), summary_of_run(config, begun, kScopeFull),
                                                 ledger, full.name);
}

void close_full_summary(full_summary& full, diagnostics& diag) {
  if (full.writer == nullptr) return;
  const status closed = full.writer->finish();
  if (!closed.is_ok()) diag.report_failure(kSummaryFailure, closed);
  full.writer.reset();
}

}  // namespace quern
