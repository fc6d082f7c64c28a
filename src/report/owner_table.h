#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_total.h"
#include "report/changes.h"
#include "report/old_summary.h"
#include "report/summary_format.h"
#include "tree/directory_node.h"
#include "tree/subtree_details.h"

namespace quern {

// The most owners a table names; the others share one row.
inline constexpr size_t kOwnersNamed = 20;

// One row of a table of owners.
struct owner_row {
  std::string name;  // not escaped; empty in the row of all others
  byte_total bytes = {};
  int64_t files = 0;
  size_t others = 0;  // how many owners the row of all others stands for
  // Compared with an earlier report: an owner it listed that holds nothing
  // here now, and the change of bytes, where it is known.
  bool gone = false;
  bool change_known = false;
  byte_change change;
};

// The owners an earlier report gives for a directory, matched by the name
// shown. Unknown where it has none for it: the summary has no owners, none
// were kept for the directory, the directory is not in it, either side
// left something unread in it or below it, or the two reports count bytes
// differently.
struct earlier_owners {
  bool known = false;
  std::vector<summary_owner> owners;
};
earlier_owners owners_before(const old_summary& old, earlier_entry then, const directory_node& node);

// The owners with the most bytes first, ties by name in byte order and
// then by number, at most `named` of them, and after them one row for all
// others together.
std::vector<owner_row> owner_rows(const keyed_figures& figures, detail_ledger& owners, size_t named = kOwnersNamed);

// The same with each row's change since the earlier report: an owner's bytes
// now less its bytes then, all its bytes where it was not listed. The
// owners listed then that are not here now follow the others, the most
// bytes then first, each with those bytes as a loss. Where the table is cut,
// the row of all others stands for the gone owners too, and its change is
// the sum of theirs and those of the others it stands for, so that the
// changes add up to that of the directory.
std::vector<owner_row> owner_rows(const keyed_figures& figures, detail_ledger& owners, const earlier_owners& before,
                                  size_t named = kOwnersNamed);

// Appends the table of the owners of everything in and below the
// directory, as the ledger holds them; with the owners of an earlier
// report, with the change of each owner's bytes; with bars, a share bar
// before each share.
void append_owner_table(std::string& page, detail_ledger& owners, const directory_node& node,
                        const earlier_owners* earlier = nullptr, bool bars = false);

// The style sheet's rules for the table, which only reports that show
// owners have, and for its changes, which only those that compare have.
std::string_view owner_table_rules();
std::string_view owner_change_rules();

}  // namespace quern
