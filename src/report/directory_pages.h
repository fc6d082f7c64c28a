#pragma once

#include <memory>
#include <string>

#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Texts kept from one directory to the next, so that a walk over a large
// tree allocates only while they grow.
class page_workspace {
 public:
  page_workspace();
  ~page_workspace();
  page_workspace(const page_workspace&) = delete;
  page_workspace& operator=(const page_workspace&) = delete;

  struct buffers;
  buffers& get() { return *buffers_; }

 private:
  std::unique_ptr<buffers> buffers_;
};

// Writes the pages of one directory, one per offered order, and leaves its
// children in the order of the last page written (by name when all were).
// With an earlier report the rows show how they changed since, those that
// are gone are rows of their own, and a page lists them by that change.
// A page that cannot be created or written completely is reported and ends
// the directory's pages. Figures per owner are given back once written.
// Returns the number of pages written.
int output_html_directory(const report_context& context, directory_node* node);
int output_html_directory(const report_context& context, directory_node* node, page_workspace& workspace);

// How many pages each directory gets: one per column that is shown and
// offered for sorting, and, where the pages show changes since an earlier
// report and the column of bytes is shown, one sorted by the change of
// bytes.
int pages_per_directory(const report_context& context);

}  // namespace quern
