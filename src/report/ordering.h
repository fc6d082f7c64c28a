#pragma once

#include "base/diagnostics.h"
#include "tree/directory_node.h"

namespace quern {

// The six orders of a directory's subdirectory list, in the order their pages
// are written.
enum class sort_order { size, subdirs, files, symlinks, devices, name };

// Reorders the node's children in place into exactly the order that an
// exchange sort (compare every pair i < j in sequence, swap when the entry
// at i must come after the one at j) leaves, equal keys included. Counted
// orders are descending, the name order ascends by bytes. Where comparisons
// are shown, every one is traced, and the exchange sort itself runs.
void my_sort(directory_node* node, sort_order order, diagnostics& diag);

// The total a counted order sorts by: the node's count or bytes over its
// whole subtree. Zero for the name order.
byte_total order_total(const directory_node& node, sort_order order);

}  // namespace quern
