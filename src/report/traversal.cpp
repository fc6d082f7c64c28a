#include "report/traversal.h"

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "report/concurrent_pages.h"
#include "report/dir_stats.h"
#include "report/directory_pages.h"
#include "report/page_frame.h"
#include "report/page_names.h"

namespace quern {

void output(const report_context& context, directory_node* node, int threads) {
  // A trace of every comparison is far too much to hold back for the walk's
  // order, so it comes from the walk alone.
  if (threads > 1 && !context.diag.shows(verbosity::comparisons)) {
    page_crew crew(context, threads);
    if (crew.writers() > 0) {
      crew.submit_tree(node);
      crew.commit(node);
      return;
    }
  }
  page_workspace workspace;
  // An explicit stack, so that no depth of the tree can exhaust the call
  // stack.
  std::vector<directory_node*> pending{node};
  while (!pending.empty()) {
    directory_node* current = pending.back();
    pending.pop_back();
    context.diag.progress().pages_written(output_html_directory(context, current, workspace));
    // Pushed last first: the children come off in the order the pages left
    // them, each with its whole subtree before the next.
    for (int64_t slot = current->currentsubdirs(); slot-- > 0;) {
      directory_node* child = current->subdirpointer[slot];
      if (child->currentsubdirs() > 0) pending.push_back(child);
    }
  }
}

int64_t pages_to_write(const report_options& options, const directory_node* node) {
  int64_t directories = 0;
  std::vector<const directory_node*> pending{node};
  while (!pending.empty()) {
    const directory_node* current = pending.back();
    pending.pop_back();
    ++directories;
    for (int64_t slot = 0; slot < current->currentsubdirs(); ++slot) {
      const directory_node* child = current->subdirpointer[slot];
      if (child->currentsubdirs() > 0) pending.push_back(child);
    }
  }
  return directories * pages_per_directory(options);
}

void output_index_html(const report_context& context, const directory_node* root) {
  const std::string path = context.options.outputdirectory + "/index.html";
  if (context.diag.shows(verbosity::operations))
    context.diag.write("*** try to create index.html file " + path + "\r\n");
  std::unique_ptr<output_file> file;
  status result = context.files.create_file(path, file);
  if (result.is_ok()) {
    const std::string root_path = node_path(root);
    std::string page;
    output_html_head(page, "Quern - " + root_path);
    page += "<h1><a href=\"";
    append_page_name(page, root, sort_order::name);
    page += "\">Weiter zur Detailansicht von ";
    append_html_escaped(page, root_path);
    page += "</a></h1><br>\r\n";
    output_dir_stats(page, *root, false);
    output_html_footer(page);
    page += "</body>\r\n</html>\r\n";
    result = write_or_remove(context.files, path, *file, page);
  }
  if (!result.is_ok()) context.diag.report_failure("Konnte Index HTML nicht erstellen", result);
}

}  // namespace quern
