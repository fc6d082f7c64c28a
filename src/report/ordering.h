#pragma once

#include "base/diagnostics.h"
#include "report/figures.h"
#include "tree/directory_node.h"

namespace quern {

// Reorders the node's children in place into exactly the order that an
// exchange sort (compare every pair i < j in sequence, swap when the entry
// at i must come after the one at j) leaves, equal keys included: by the
// figure's total, largest first, or, with no figure, by name, ascending by
// bytes. Where comparisons are shown, every one is traced, and the exchange
// sort itself runs.
void my_sort(directory_node* node, const figure* by, diagnostics& diag);

}  // namespace quern
