#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/changes.h"
#include "report/old_summary.h"
#include "report/summary_format.h"
#include "tree/directory_node.h"
#include "tree/subtree_details.h"

namespace quern {

// The classes of the figures as a summary names them, newest first, the
// empty ones left out.
void summary_ages_of(const keyed_figures& ages, const age_classes& classes, std::vector<summary_age>& out);

// The ages an earlier report gives for a directory. Unknown where it has
// none for it, where either side left something unread in it or below it,
// or where the two count bytes differently.
struct earlier_ages {
  bool known = false;
  std::vector<summary_age> ages;
};
earlier_ages ages_before(const old_summary& old, earlier_entry then, const directory_node& node);

// Appends the table of the bytes and files in and below the directory by
// the year of their last change, as the ledger holds them; with the ages
// of an earlier report, with the change of each year's bytes. A year
// compares with the same year; the classes after the start and older than
// the years shown span other times in each report, so their change is
// unknown. A year shown that held bytes then and holds none now is a row
// with its loss. With bars, a share bar stands before each share.
void append_age_table(std::string& page, const detail_ledger& ledger, const directory_node& node,
                      const earlier_ages* earlier = nullptr, bool bars = false);

// The style sheet's rules for the tables of ages and of the largest files.
std::string_view detail_table_rules();

}  // namespace quern
