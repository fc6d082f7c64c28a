#include "driver/tree_to_pages.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "driver/run_summaries.h"
#include "platform/process.h"
#include "report/concurrent_pages.h"
#include "report/directory_pages.h"
#include "report/page_names.h"
#include "report/traversal.h"
#include "tree/listing_reader.h"
#include "tree/scanner.h"

namespace quern {

namespace {

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
bool pass_over_pages(output_directory& output, scan_options& scan) {
  passed_over_entries& pages = scan.passed_over;
  if (!output.identity_of(".", pages.device, pages.inode).is_ok()) return false;
  pages.accepts = is_page_name;
  return true;
}

// Nor the summary of every directory, which grows while it goes on.
void pass_over_summary(const full_summary& full, scan_options& scan) {
  if (full.writer == nullptr) return;
  scan.passed_over.file = true;
  scan.passed_over.file_device = full.device;
  scan.passed_over.file_inode = full.inode;
}

// Which directories keep their subtrees: those that can get pages.
retention_rule page_retention(const report_options& options) {
  retention_rule rule;
  if (options.page_depth) rule.max_depth = *options.page_depth;
  if (options.page_min_size) rule.min_total = *options.page_min_size;
  return rule;
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
void scan_and_write_pages(const settings& config, const report_context& context, file_system& files,
                          directory_tree& tree, directory_node* root, int threads, full_summary& full) {
  diagnostics& diag = context.diag;
  scan_options scan{.threads = threads,
                    .one_file_system = config.one_file_system,
                    .hard_links_once = config.hard_links_once,
                    .retention = page_retention(config),
                    .allocated = config.allocated,
                    .ledger = context.ledger};
  pass_over_summary(full, scan);
  std::unique_ptr<page_crew> crew;
  // Counted as they are finished: once writers sort their children, only
  // the writers may go through them.
  int64_t directories_with_pages = 1;  // the root has its pages in any case
  summary_writer* const every_directory = full.writer.get();
  const auto count_pages = [&directories_with_pages, every_directory](directory_node* node,
                                                                      const subtree_details* details) {
    if (node->parent != nullptr && node->currentsubdirs() > 0) ++directories_with_pages;
    if (every_directory != nullptr) every_directory->add(*node, true, details);
  };
  scan.counted = count_pages;
  if (threads > 1 && !diag.shows(verbosity::operations)) {
    crew = std::make_unique<page_crew>(context, writers_beside_scan(threads));
    scan_options beside = scan;
    beside.threads = threads - static_cast<int>(crew->writers());
    if (crew->writers() > 0 && room_for_both(beside, crew->writers()) && pass_over_pages(context.output, beside)) {
      scan = beside;
      scan.counted = [&crew, &count_pages](directory_node* node, const subtree_details* details) {
        count_pages(node, details);
        crew->submit(node);
      };
    } else {
      crew.reset();
    }
  }
  if (diag.shows(verbosity::steps)) diag.write("* scanning root directory\r\n");
  jumper(tree, root, config.rootdirectory, files, diag, scan);
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

// A listing builds the whole tree before the pages are written.
void read_and_write_pages(const settings& config, const report_context& context, directory_tree& tree,
                          directory_node* root, int threads, opened_listing& listing, full_summary& full) {
  diagnostics& diag = context.diag;
  if (diag.shows(verbosity::steps)) diag.write("* scanning root directory\r\n");
  summary_writer* const every_directory = full.writer.get();
  const auto counted = [every_directory](directory_node* node, const subtree_details* details) {
    every_directory->add(*node, true, details);
  };
  const listing_counting counting{.allocated = config.allocated, .ledger = context.ledger};
  read_listing(tree, root, config.rootdirectory, listing, *config.listing, diag, page_retention(config), counting,
               every_directory != nullptr ? counted : counted_function());
  close_full_summary(full, diag);
  // Counting them walks the whole tree: only for what is said or shown.
  const bool counts_said = diag.shows(verbosity::steps) || diag.progress().shown();
  const int64_t with_pages = counts_said ? directories_with_pages(root) : 0;
  say_directories_with_pages(config, diag, with_pages, tree.structures());
  if (diag.shows(verbosity::steps)) diag.write("* generating HTML files\r\n");
  if (diag.progress().shown()) diag.progress().begin_pages(with_pages * pages_per_directory(context));
  output(context, root, threads);
}

}  // namespace

opened_listing open_listing_of(const settings& config, file_system& files) {
  return open_listing(*config.listing, config.rootdirectory, files, listing_buffer_sizes().longest_record);
}

void count_and_write_pages(const settings& config, const report_context& context, file_system& files,
                           directory_tree& tree, directory_node* root, opened_listing* listing, full_summary& full) {
  const int threads = config.jobs > 0 ? config.jobs : default_jobs();
  if (listing == nullptr) {
    scan_and_write_pages(config, context, files, tree, root, threads, full);
    return;
  }
  read_and_write_pages(config, context, tree, root, threads, *listing, full);
}

}  // namespace quern
