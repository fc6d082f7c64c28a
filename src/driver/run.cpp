#include "driver/run.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "base/diagnostics.h"
#include "base/output_descriptor.h"
#include "driver/command_line.h"
#include "platform/process.h"
#include "platform/terminal.h"
#include "report/concurrent_pages.h"
#include "report/directory_pages.h"
#include "report/old_summary.h"
#include "report/page_frame.h"
#include "report/page_names.h"
#include "report/summary_writer.h"
#include "report/traversal.h"
#include "tree/directory_node.h"
#include "tree/listing_reader.h"
#include "tree/owner_figures.h"
#include "tree/scanner.h"

namespace quern {

namespace {

void out_of_memory() { exit_out_of_memory("operator new", __LINE__); }

// Waiting for the disk, a scan gains from more threads than cores; past
// about 16 the gain is lost to switching between them.
int default_jobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(4 * std::max(cores, 1u), 8u, 16u));
}

// Writers beside the scan: pages are written by one or two threads while
// the others read ahead, which the disk rewards far more than the pages.
int writers_beside_scan(int threads) { return threads >= 4 ? 2 : 1; }

// Besides the standard ones and the style sheet's, index's or listing's.
constexpr size_t kSpareDescriptors = 16;

// Writers beside the scan must never take a descriptor that the scan would
// have had, nor the other way round: either would report a shortage that
// one thread does not meet. Under a lower limit the pages wait for the end
// of the scan.
bool room_for_both(const scan_options& scan, size_t writers) {
  return descriptor_limit() >= static_cast<size_t>(scan_descriptors(scan)) + writers + kSpareDescriptors;
}

// The scan must not see in the output directory the pages written while it
// goes on, wherever in the tree it meets that directory.
bool pass_over_pages(file_system& files, const std::string& output_directory, scan_options& scan) {
  std::unique_ptr<open_directory> directory;
  if (!files.open_directory_at_path(output_directory, directory).is_ok()) return false;
  passed_over_entries& pages = scan.passed_over;
  if (!directory->identity(pages.device, pages.inode).is_ok()) return false;
  pages.accepts = is_page_name;
  return true;
}

// Which directories keep their subtrees: those that can get pages.
retention_rule page_retention(const report_options& options) {
  retention_rule rule;
  if (options.page_depth) rule.max_depth = *options.page_depth;
  if (options.page_min_size) rule.min_total = *options.page_min_size;
  return rule;
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
  if (scope == kScopeReport && config.page_depth) add("--depth", &config.page_depth_given);
  if (scope == kScopeReport && config.page_min_size) add("--min-size", &config.page_min_size_given);
  return text;
}

summary_header summary_of_run(const settings& config, std::time_t begun, std::string_view scope) {
  return {config.rootdirectory, summary_time(begun), config.listing ? "listing" : "scan",
          summary_options(config, scope), std::string(scope)};
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

// The summary of every directory is complete once the tree is: it is
// closed then, and a failure to write it said before the pages'.
void close_full_summary(std::unique_ptr<summary_writer>& full, diagnostics& diag) {
  if (full == nullptr) return;
  const status closed = full->finish();
  if (!closed.is_ok()) diag.report_failure(kSummaryFailure, closed);
  full.reset();
}

// With a cap on the pages, how many directories get them.
void say_directories_with_pages(const settings& config, diagnostics& diag, int64_t with_pages, int64_t all) {
  if (!diag.shows(verbosity::steps) || (!config.page_depth && !config.page_min_size)) return;
  diag.writef("* Seiten fuer %llu von %llu Verzeichnissen\r\n", static_cast<unsigned long long>(with_pages),
              static_cast<unsigned long long>(all));
}

// Scans the tree and writes its pages. With threads to spare and little to
// say (no operations traced), the pages of each finished subtree are written
// while the scan goes on; what is said about them still comes after the
// scan's messages, in the walk's order.
void scan_and_write_pages(const settings& config, const report_context& context, directory_tree& tree,
                          directory_node* root, int threads, std::unique_ptr<summary_writer>& full) {
  diagnostics& diag = context.diag;
  scan_options scan{.threads = threads,
                    .one_file_system = config.one_file_system,
                    .hard_links_once = config.hard_links_once,
                    .retention = page_retention(config),
                    .owners = context.owners};
  std::unique_ptr<page_crew> crew;
  // Counted as they are finished: once writers sort their children, only
  // the writers may go through them.
  int64_t directories_with_pages = 1;  // the root has its pages in any case
  // Where owners are shown, the ledger passes the lines their figures.
  summary_writer* const every_directory = context.owners == nullptr ? full.get() : nullptr;
  const auto count_pages = [&directories_with_pages, every_directory](directory_node* node) {
    if (node->parent != nullptr && node->currentsubdirs() > 0) ++directories_with_pages;
    if (every_directory != nullptr) every_directory->add(*node, true);
  };
  scan.counted = count_pages;
  if (threads > 1 && !diag.shows(verbosity::operations)) {
    crew = std::make_unique<page_crew>(context, writers_beside_scan(threads));
    scan_options beside = scan;
    beside.threads = threads - static_cast<int>(crew->writers());
    if (crew->writers() > 0 && room_for_both(beside, crew->writers()) &&
        pass_over_pages(context.files, config.outputdirectory, beside)) {
      scan = beside;
      scan.counted = [&crew, &count_pages](directory_node* node) {
        count_pages(node);
        crew->submit(node);
      };
    } else {
      crew.reset();
    }
  }
  if (diag.shows(verbosity::steps)) diag.write("* scanning root directory\r\n");
  jumper(tree, root, config.rootdirectory, context.files, diag, scan);
  close_full_summary(full, diag);

  say_directories_with_pages(config, diag, directories_with_pages, tree.structures());
  if (diag.shows(verbosity::steps)) diag.write("* generating HTML files\r\n");
  if (diag.progress().shown()) diag.progress().begin_pages(directories_with_pages * pages_per_directory(context));
  if (crew == nullptr) {
    output(context, root, threads);
    return;
  }
  crew->grow(threads);
  crew->commit(root);
}

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

}  // namespace

int run(int argc, const char* const* argv, file_system& files, int output_descriptor, int error_descriptor) {
  const std::time_t time_start = std::time(nullptr);
  std::set_new_handler(out_of_memory);

  const bool links_and_devices = platform_has_links_and_devices();
  const command_line line = read_command_line(argc, argv, links_and_devices);
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  if (line.result == command_line::outcome::help) {
    write_text(error_descriptor, usage_text(program, nullptr, links_and_devices));
    return kExitSuccess;
  }
  if (line.result == command_line::outcome::long_help) {
    return write_requested(output_descriptor, error_descriptor, long_usage_text(program, links_and_devices));
  }
  if (line.result == command_line::outcome::version) {
    return write_requested(output_descriptor, error_descriptor, version_line());
  }
  if (line.result == command_line::outcome::mistake) {
    write_text(error_descriptor, usage_text(program, &line.message, links_and_devices));
    return kExitFailure;
  }
  const settings& config = line.config;

  const auto open_the_listing = [&config, &files] {
    return open_listing(*config.listing, config.rootdirectory, files, listing_buffer_sizes().longest_record);
  };
  // Owners asked of a listing must be in it, as its first record tells,
  // read before anything is made. Without them the listing is opened where
  // it always was, when it is read.
  std::optional<opened_listing> listing;
  if (config.listing && config.owners) {
    listing = open_the_listing();
    if (listing->owner_field.has_value() && !*listing->owner_field) {
      const std::string message = "Option \"--owners\" nur mit Eigentuemern in der Listendatei moeglich";
      write_text(error_descriptor, usage_text(program, &message, links_and_devices));
      return kExitFailure;
    }
  }

  diagnostics diag(static_cast<verbosity>(config.debug), error_descriptor);
  set_diagnostics_for_exit(&diag);
  if (config.show_progress && can_show_status_line(error_descriptor)) {
    diag.progress().show_on(error_descriptor, terminal_columns);
    erase_progress_line_on_signals();
  }

  // A comparison that cannot be made publishes nothing.
  std::unique_ptr<old_summary> earlier;
  if (config.compare) {
    std::string message;
    earlier = read_old_summary(files, *config.compare, message);
    if (earlier == nullptr) {
      diag.report_failure_line(message);
      return kExitFailure;
    }
    say_differences(config, *earlier, diag);
  }

  if (diag.shows(verbosity::operations)) diag.write("*** try to create outputdirectory\r\n");
  const status made = files.make_directory(config.outputdirectory);
  if (!made.is_ok()) {
    diag.report_failure("Erstellen des Outpudirectorys nicht moeglich", made);
    return kExitFailure;
  }

  // Nodes made from a listing would be traced in the listing's order; a
  // listed tree is traced from its pages on.
  diagnostics untraced(verbosity::quiet, -1);
  directory_tree tree(config.listing ? untraced : diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, config.rootdirectory.data(), config.rootdirectory.size());

  std::unique_ptr<owner_ledger> owners;
  if (config.owners) owners = std::make_unique<owner_ledger>();
  if (owners != nullptr && config.report_summary) owners->keep_for_summary();
  const report_context context{config, diag, files, owners.get(), earlier.get()};
  output_stylesheet(context);

  std::unique_ptr<summary_writer> full;
  if (config.full_summary) {
    const status opened = summary_writer::open(files, *config.full_summary, true,
                                               summary_of_run(config, time_start, kScopeFull), full, owners.get());
    if (!opened.is_ok()) diag.report_failure(kSummaryFailure, opened);
    if (full != nullptr && owners != nullptr) add_lines_with_owners(*owners, *full);
  }

  const int threads = config.jobs > 0 ? config.jobs : default_jobs();
  if (config.listing) {
    if (diag.shows(verbosity::steps)) diag.write("* scanning root directory\r\n");
    if (!listing) listing = open_the_listing();
    summary_writer* const every_directory = full.get();
    const auto counted = [every_directory, &context](directory_node* node) {
      if (context.owners == nullptr) every_directory->add(*node, true);
    };
    read_listing(tree, root, config.rootdirectory, *listing, config.listing->terminator, diag, page_retention(config),
                 context.owners, every_directory != nullptr ? counted : std::function<void(directory_node*)>());
    close_full_summary(full, diag);
    say_directories_with_pages(config, diag, directories_with_pages(root), tree.structures());
    if (diag.shows(verbosity::steps)) diag.write("* generating HTML files\r\n");
    if (diag.progress().shown()) diag.progress().begin_pages(pages_to_write(context, root));
    output(context, root, threads);
  } else {
    scan_and_write_pages(config, context, tree, root, threads, full);
  }
  if (config.report_summary) output_report_summary(context, root, summary_of_run(config, time_start, kScopeReport));

  const std::time_t time_finish = std::time(nullptr);
  output_index_html(context, root);

  if (diag.shows(verbosity::steps)) {
    diag.writef("* process completed in %ld seconds\r\n", static_cast<long>(time_finish - time_start));
  }
  diag.flush();
  set_diagnostics_for_exit(nullptr);
  return diag.failures() > 0 ? kExitWithGaps : kExitSuccess;
}

}  // namespace quern
