#include "report/traversal.h"

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "report/concurrent_pages.h"
#include "report/directory_heading.h"
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

int64_t directories_with_pages(const directory_node* node) {
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
  return directories;
}

namespace {

// Below the totals: which directories have pages, so that a reader can
// tell a directory left without pages by the caps from one without
// subdirectories.
void append_cap_note(std::string& page, const report_options& options) {
  page += "<p>Seiten gibt es nur f&uuml;r ";
  if (options.page_depth == uint64_t{0}) {
    page += "die Wurzel";
  } else {
    page += "Verzeichnisse";
    if (options.page_depth) {
      page += " bis zur Tiefe ";
      append_decimal(page, static_cast<int64_t>(*options.page_depth));
      page += " unter der Wurzel";
      if (options.page_min_size) page += " und";
    }
    if (options.page_min_size) {
      page += " mit mindestens ";
      page += dotted(*options.page_min_size);
      page += " Bytes";
    }
    page += "; die &uuml;brigen stehen ohne Link in der Liste ihres &uuml;bergeordneten Verzeichnisses";
  }
  page += ".</p>\r\n";
}

}  // namespace

void output_index_html(const report_context& context, const directory_node* root) {
  if (context.diag.shows(verbosity::operations))
    context.diag.write("*** try to create index.html file " + context.options.outputdirectory + "/index.html\r\n");
  std::unique_ptr<output_file> file;
  status result = context.output.create_file("index.html", file);
  if (result.is_ok()) {
    const std::string root_path = node_path(root);
    std::string page;
    output_html_head(page, "Quern - " + root_path);
    page += "<h1><a href=\"";
    append_page_name(page, root, kNamePageKey);
    page += "\">Weiter zur Detailansicht von ";
    append_html_escaped(page, root_path);
    page += "</a></h1><br>\r\n";
    std::vector<size_t> link_keys;
    append_directory_heading(page, context, *root, true, link_keys);
    if (context.options.page_depth || context.options.page_min_size) append_cap_note(page, context.options);
    output_html_footer(page);
    page += "</body>\r\n</html>\r\n";
    result = write_and_close(*file, page);
  }
  if (!result.is_ok()) context.diag.report_failure("Konnte Index HTML nicht erstellen", result);
}

}  // namespace quern
