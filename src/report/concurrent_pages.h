#pragma once

#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Writes the pages of the node and of every directory below it that has
// subdirectories, as the walk does, with up to `threads` threads composing
// and writing them. One thread writes all pages of a directory, in their
// order; what is said about them comes out in the walk's order. Returns
// false, having written nothing, when no thread could be started.
bool output_concurrently(const report_context& context, directory_node* root, int threads);

}  // namespace quern
