#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Appends the table of the largest files in and below the directory, as
// the ledger holds them: each file's path relative to the directory, its
// bytes, the day of its last change where times are known and its owner
// where owners are shown. Where a file's directory has pages, the
// directory part of its path links to them, in the order `key` names;
// `link_keys` gets where each such key stands in `page`, so that the
// table serves the pages of every order.
void append_largest_table(std::string& page, const report_context& context, const directory_node& node,
                          std::string_view key, std::vector<size_t>& link_keys);

}  // namespace quern
