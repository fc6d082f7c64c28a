#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/byte_total.h"
#include "report/changes.h"
#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// The rows of a directory's overview, formatted once for all its pages.
struct overview_rows {
  // Where a child's escaped name and its number cells lie in text, and how
  // it compares with the earlier report. The rows are reordered between
  // pages, so they are found by child, not by position.
  struct row {
    const directory_node* child;
    size_t name_start;
    size_t cells_start;
    size_t end;
    bool added;
    bool change_known;
    byte_change change;
  };
  // A subdirectory the earlier report had that is gone: its whole row.
  struct removed_row {
    std::string name;
    size_t start;
    size_t end;
    totals_change change;
  };

  std::string text;
  std::vector<row> rows;  // by child's address
  std::vector<removed_row> removed;
  std::string removed_text;
  // The rows in the order of the page by change: indices into rows, then
  // those into removed above rows.size().
  std::vector<size_t> growth;
};

// Formats each child's name and numbers, with the changes since the earlier
// report where there is one (earlier not null), the rows of subdirectories
// that are gone, and the order of the page by change.
void build_rows(const report_context& context, const directory_node* node, earlier_subdirectories* earlier,
                overview_rows& rows);

const overview_rows::row& cached_row(const overview_rows& rows, const directory_node* child);

// The number cells of a row, in column order, with the changes beside them
// where the pages show changes and the share of the whole beside the bytes
// where they show pictures; null figures for a row that is gone.
void append_number_cells(std::string& out, const report_context& context, const directory_node* figures,
                         const totals_change& change, const byte_total& whole);

}  // namespace quern
