#pragma once

#include "report/ordering.h"
#include "report/report_context.h"

namespace quern {

// A column of the overview table and the page sorted by it.
struct column {
  const char* word;
  const char* heading;
  sort_order order;
  int report_options::*display;  // null: always shown
  int report_options::*sort;     // null: always offered
  // The column of its change, shown beside it when the pages show changes;
  // null for none.
  const char* change_word;
  const char* change_heading;
};

// In the order of the cells of a row.
inline constexpr column kColumns[6] = {
    {"name", "Unterverzeichnisname", sort_order::name, nullptr, nullptr, nullptr, nullptr},
    {"subdir", "Anzahl<br>Unterverzeichnisse", sort_order::subdirs, &report_options::display_row_subdirs,
     &report_options::sort_row_subdirs, nullptr, nullptr},
    {"bytes", "Anzahl Bytes", sort_order::size, &report_options::display_row_size, &report_options::sort_row_size,
     "changebytes", "&Auml;nderung Bytes"},
    {"files", "Anzahl Files", sort_order::files, &report_options::display_row_files, &report_options::sort_row_files,
     "changefiles", "&Auml;nderung Files"},
    {"symlink", "Anzahl Symlinks", sort_order::symlinks, &report_options::display_row_symlinks,
     &report_options::sort_row_symlinks, nullptr, nullptr},
    {"other", "Anzahl andere Files", sort_order::devices, &report_options::display_row_devices,
     &report_options::sort_row_devices, nullptr, nullptr},
};
inline constexpr const column& kNameColumn = kColumns[0];
inline constexpr const column& kBytesColumn = kColumns[2];

// The pages are written in this order; the one by name comes last, so that
// the walk finds the children in name order.
inline constexpr int kPageColumns[6] = {2, 1, 3, 4, 5, 0};

inline bool shown(const report_options& options, const column& c) {
  return c.display == nullptr || options.*c.display != 0;
}
inline bool offered(const report_options& options, const column& c) {
  return c.sort == nullptr || options.*c.sort != 0;
}

// The page sorted by the change of bytes goes with that column.
inline bool has_growth_page(const report_context& context) {
  return context.earlier != nullptr && shown(context.options, kBytesColumn);
}

}  // namespace quern
