#include "driver/run.h"

#include <unistd.h>

#include <ctime>
#include <new>

#include "base/diagnostics.h"
#include "driver/command_line.h"
#include "report/page_frame.h"
#include "report/traversal.h"
#include "tree/directory_node.h"
#include "tree/listing_reader.h"
#include "tree/scanner.h"

namespace quern {

namespace {

void out_of_memory() { exit_out_of_memory("operator new", __LINE__); }

void write_text(int descriptor, const std::string& text) {
  diagnostics plain(0, descriptor);
  plain.write(text);
}

}  // namespace

int run(int argc, const char* const* argv, file_system& files, int error_descriptor) {
  const std::time_t time_start = std::time(nullptr);
  std::set_new_handler(out_of_memory);

  const bool links_and_devices = platform_has_links_and_devices();
  const command_line line = read_command_line(argc, argv, links_and_devices);
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  if (line.result == command_line::outcome::help) {
    write_text(error_descriptor, usage_text(program, nullptr, links_and_devices));
    return kExitSuccess;
  }
  if (line.result == command_line::outcome::mistake) {
    write_text(error_descriptor, usage_text(program, &line.message, links_and_devices));
    return kExitFailure;
  }
  const settings& config = line.config;

  diagnostics diag(config.debug, error_descriptor);
  set_diagnostics_for_exit(&diag);

  if (diag.above(2)) diag.write("*** try to create outputdirectory\r\n");
  const status made = files.make_directory(config.outputdirectory);
  if (!made.is_ok()) {
    diag.report_failure("Erstellen des Outpudirectorys nicht moeglich", made);
    return kExitFailure;
  }

  // Nodes made from a listing would be traced in the listing's order; a
  // listed tree is traced from its pages on.
  diagnostics untraced(0, -1);
  directory_tree tree(config.listing ? untraced : diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, config.rootdirectory.data(), config.rootdirectory.size());

  const report_context context{config, diag, files};
  output_stylesheet(context);

  if (diag.above(0)) diag.write("* scanning root directory\r\n");
  if (config.listing) {
    read_listing(tree, root, config.rootdirectory, *config.listing, files, diag);
  } else {
    jumper(tree, root, config.rootdirectory, files, diag);
  }

  if (diag.above(0)) diag.write("* generating HTML files\r\n");
  output(context, root);

  const std::time_t time_finish = std::time(nullptr);
  output_index_html(context, root);

  if (diag.above(0)) {
    diag.writef("* process completed in %ld seconds\r\n", static_cast<long>(time_finish - time_start));
  }
  diag.flush();
  set_diagnostics_for_exit(nullptr);
  return diag.failures() > 0 ? kExitWithGaps : kExitSuccess;
}

}  // namespace quern
