#pragma once

#include <string>
#include <vector>

#include "support/counters.h"
#include "tree/directory_node.h"

namespace quern_test {

// The plain exchange sort that every ordering must agree with: each pair
// i < j compared in sequence and swapped when the entry at i must come
// after the one at j. Counts descend by their total over the subtree, names
// ascend byte by byte. With a trace, every comparison is recorded as the
// level-4 diagnostics record it.
void exchange_sort(std::vector<quern::directory_node*>& list, order by, std::string* trace = nullptr);

}  // namespace quern_test
