#include "driver/run.h"

#include <ctime>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "base/diagnostics.h"
#include "base/output_descriptor.h"
#include "driver/command_line.h"
#include "driver/run_summaries.h"
#include "driver/tree_to_pages.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "report/style_sheet.h"
#include "report/summary_writer.h"
#include "report/traversal.h"
#include "tree/directory_node.h"
#include "tree/subtree_details.h"

namespace quern {

namespace {

void out_of_memory() { exit_out_of_memory("operator new", __LINE__); }

void write_text(int descriptor, const std::string& text) {
  diagnostics plain(verbosity::quiet, descriptor);
  plain.write(text);
}

// What the user asked to read: a failure to deliver it is the run's failure.
int write_requested(int output_descriptor, int error_descriptor, const std::string& text) {
  const status written = write_fully(output_descriptor, text);
  if (written.is_ok()) return kExitSuccess;
  diagnostics(verbosity::quiet, error_descriptor).report_failure("Ausgabe auf stdout nicht moeglich", written);
  return kExitFailure;
}

// A command line that asks for no report: help, the version or a mistake.
int answer_without_report(const command_line& line, const char* program, bool links_and_devices, int output_descriptor,
                          int error_descriptor) {
  switch (line.result) {
    case command_line::outcome::help:
      write_text(error_descriptor, usage_text(program, nullptr, links_and_devices));
      return kExitSuccess;
    case command_line::outcome::long_help:
      return write_requested(output_descriptor, error_descriptor, long_usage_text(program, links_and_devices));
    case command_line::outcome::version: return write_requested(output_descriptor, error_descriptor, version_line());
    case command_line::outcome::mistake:
    case command_line::outcome::run: break;
  }
  write_text(error_descriptor, usage_text(program, &line.message, links_and_devices));
  return kExitFailure;
}

// What is wrong with the listing, as its first record tells, read before
// anything is made: one that holds no record lists no tree (a `find` that
// failed before its first line), and owners asked of it must be in it.
std::optional<std::string> listing_mistake(const settings& config, const opened_listing& listing) {
  const std::string named = "Listendatei \"" + config.listing->path + "\" ";
  if (listing.input == nullptr) return named + "nicht lesbar: " + listing.opened.description();
  if (!listing.first_read.is_ok()) return named + "nicht lesbar: " + listing.first_read.description();
  if (listing.ended_before_record) return named + "enthaelt keinen Eintrag";
  if (config.owners && !listing.owner_field.value_or(true))
    return std::string("Option \"--owners\" nur mit Eigentuemern in der Listendatei moeglich");
  return std::nullopt;
}

// What is counted of each entry beyond the statistics; the years of its
// last change are counted back from the run's start.
detail_options details_of(const settings& config, std::time_t time_start) {
  detail_options details{.owners = config.owners, .largest = config.largest};
  if (config.ages) details.ages.emplace(static_cast<int64_t>(time_start));
  return details;
}

// The output directory is made: the style sheet, the pages, the summary
// beside them and the index page.
void write_report(const settings& config, diagnostics& diag, file_system& files, output_directory& output,
                  const old_summary* earlier, opened_listing* listing, full_summary& full, std::time_t time_start) {
  // Nodes made from a listing would be traced in the listing's order; a
  // listed tree is traced from its pages on.
  diagnostics untraced(verbosity::quiet, -1);
  directory_tree tree(config.listing ? untraced : diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, config.rootdirectory.data(), config.rootdirectory.size());

  std::unique_ptr<detail_ledger> ledger;
  const detail_options details = details_of(config, time_start);
  if (details.any()) ledger = std::make_unique<detail_ledger>(details);
  if (ledger != nullptr && config.report_summary) ledger->keep_for_summary();
  const report_context context{config, diag, output, ledger.get(), earlier};
  output_stylesheet(context);

  start_full_summary(config, time_start, ledger.get(), full);
  count_and_write_pages(config, context, files, tree, root, listing, full);
  if (config.report_summary) output_report_summary(context, root, summary_of_run(config, time_start, kScopeReport));

  const std::time_t time_finish = std::time(nullptr);
  output_index_html(context, root);
  if (diag.shows(verbosity::steps)) {
    diag.writef("* process completed in %ld seconds\r\n", static_cast<long>(time_finish - time_start));
  }
}

}  // namespace

int run(int argc, const char* const* argv, file_system& files, int output_descriptor, int error_descriptor) {
  const std::time_t time_start = std::time(nullptr);
  std::set_new_handler(out_of_memory);

  const bool links_and_devices = platform_has_links_and_devices();
  const command_line line = read_command_line(argc, argv, links_and_devices);
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  if (line.result != command_line::outcome::run) {
    return answer_without_report(line, program, links_and_devices, output_descriptor, error_descriptor);
  }
  const settings& config = line.config;

  std::optional<opened_listing> listing;
  if (config.listing) {
    listing = open_listing_of(config, files);
    if (const std::optional<std::string> mistake = listing_mistake(config, *listing)) {
      write_text(error_descriptor, usage_text(program, &*mistake, links_and_devices));
      return kExitFailure;
    }
  }

  diagnostics diag(static_cast<verbosity>(config.debug), error_descriptor);
  set_diagnostics_for_exit(&diag);
  if (config.show_progress && can_show_status_line(error_descriptor))
    diag.progress().show_on(error_descriptor, terminal_columns);

  std::unique_ptr<old_summary> earlier;
  if (!read_comparison(config, files, diag, earlier)) return kExitFailure;
  full_summary full;
  if (!make_full_summary(config, files, diag, full)) return kExitFailure;

  if (diag.shows(verbosity::operations)) diag.write("*** try to create outputdirectory\r\n");
  std::unique_ptr<output_directory> output;
  const status made = files.make_output_directory(config.outputdirectory, output);
  if (!made.is_ok()) {
    diag.report_failure("Erstellen des Outpudirectorys nicht moeglich", made);
    return kExitFailure;
  }

  write_report(config, diag, files, *output, earlier.get(), listing ? &*listing : nullptr, full, time_start);
  diag.flush();
  set_diagnostics_for_exit(nullptr);
  return diag.failures() > 0 ? kExitWithGaps : kExitSuccess;
}

}  // namespace quern
