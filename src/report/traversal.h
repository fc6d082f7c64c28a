#pragma once

#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Writes the pages of the node and, depth first in name order, of every
// directory below it that has subdirectories.
void output(const report_context& context, directory_node* node);

// The number of pages that output() writes for the tree below the node.
int64_t pages_to_write(const report_options& options, const directory_node* node);

// Writes index.html, the report's entry page, for the root.
void output_index_html(const report_context& context, const directory_node* root);

}  // namespace quern
