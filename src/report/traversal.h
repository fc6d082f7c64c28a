#pragma once

#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Writes the pages of the node and, depth first in name order, of every
// directory below it that has subdirectories; with more than one thread,
// several directories at once, saying the same in the same order.
void output(const report_context& context, directory_node* node, int threads = 1);

// The number of directories that get pages in the tree below the node.
int64_t directories_with_pages(const directory_node* node);

// Writes index.html, the report's entry page, for the root; with an
// earlier report, it names when that one was begun and shows the changes
// of the totals since.
void output_index_html(const report_context& context, const directory_node* root);

}  // namespace quern
