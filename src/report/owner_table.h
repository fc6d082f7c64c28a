#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_total.h"
#include "tree/directory_node.h"
#include "tree/owner_figures.h"

namespace quern {

// The most owners a table names; the others share one row.
inline constexpr size_t kOwnersNamed = 20;

// One row of a table of owners.
struct owner_row {
  std::string name;  // not escaped; empty in the row of all others
  byte_total bytes = {};
  int64_t files = 0;
  size_t others = 0;  // how many owners the row of all others stands for
};

// The owners with the most bytes first, ties by name in byte order and
// then by number, at most `named` of them, and after them one row for all
// others together.
std::vector<owner_row> owner_rows(const owner_figures& figures, owner_ledger& owners, size_t named = kOwnersNamed);

// The part's share of the whole in percent, with one decimal after a
// decimal comma, half a tenth rounded up: "33,3 %", "0,1 %" for 1 of
// 2000; "&ndash;" where the whole is nothing.
std::string share_text(const byte_total& part, const byte_total& whole);

// Appends the table of the owners of everything in and below the
// directory, as the ledger holds them.
void append_owner_table(std::string& page, owner_ledger& owners, const directory_node& node);

// The style sheet's rules for the table, which only reports that show
// owners have.
std::string_view owner_table_rules();

}  // namespace quern
