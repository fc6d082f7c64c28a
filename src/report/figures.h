#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/byte_total.h"
#include "report/report_options.h"
#include "tree/directory_node.h"

namespace quern {

// One figure of a directory, described once: the statistics table, the
// overview's columns and the pages sorted by them, the summaries' columns
// and the changes since an earlier report all follow this table. A figure
// more is a row here, beside the counters of the node that hold it, what
// the scan and the listing reader count into them, the switches that hide
// it (-nd?, -ns?) in the option table, and its rules in a style sheet.
struct figure {
  // Its summary columns: the total, and "own_" and this for what lies
  // directly in the directory.
  std::string_view name;
  std::string_view own_name;
  // Its row of the statistics table and the class of its cells.
  std::string_view label;
  std::string_view cell_class;
  // Its overview column: the cells' classes end in the word.
  std::string_view word;
  std::string_view heading;
  // The pages sorted by it, and the word their traced comparisons name.
  std::string_view page_key;
  std::string_view sort_word;
  // Whether its column is shown (-nd?) and its pages offered (-ns?).
  int report_options::*display;
  int report_options::*sort;
  // A sum of sizes, which may pass 64 bits; otherwise a count.
  bool sums_bytes;
  // Its change's column beside it, where the pages show changes; empty
  // for none.
  std::string_view change_word;
  std::string_view change_heading;
  // What lies directly in the directory, and strictly below it.
  byte_total (*own)(const directory_node& node);
  byte_total (*below)(const directory_node& node);
};

// Counts are never negative: they are shown, summed and compared as sums.
constexpr byte_total as_total(int64_t count) { return byte_total(static_cast<uint64_t>(count)); }

// In the order of the statistics table and of the summaries' columns.
enum figure_index : size_t { kBytes, kFiles, kSubdirs, kLinks, kOthers, kFigureCount };

inline constexpr figure kFigures[kFigureCount] = {
    {"bytes", "own_bytes", "Belegte Bytes", "tdbytes", "bytes", "Anzahl Bytes", "sb", "size",
     &report_options::display_row_size, &report_options::sort_row_size, true, "changebytes", "&Auml;nderung Bytes",
     [](const directory_node& n) { return n.size; }, [](const directory_node& n) { return n.recursize; }},
    {"files", "own_files", "Dateien", "tdfiles", "files", "Anzahl Files", "sf", "files",
     &report_options::display_row_files, &report_options::sort_row_files, false, "changefiles", "&Auml;nderung Files",
     [](const directory_node& n) { return as_total(n.files); },
     [](const directory_node& n) { return as_total(n.recurfiles); }},
    {"subdirs", "own_subdirs", "Unterverzeichnisse", "tdsubdir", "subdir", "Anzahl<br>Unterverzeichnisse", "sc",
     "subdir", &report_options::display_row_subdirs, &report_options::sort_row_subdirs, false, "", "",
     [](const directory_node& n) { return as_total(n.subdirs); },
     [](const directory_node& n) { return as_total(n.recursubdirs); }},
    {"links", "own_links", "Symbolische Links", "tdsymlink", "symlink", "Anzahl Symlinks", "sl", "symlink",
     &report_options::display_row_symlinks, &report_options::sort_row_symlinks, false, "", "",
     [](const directory_node& n) { return as_total(n.symlinks); },
     [](const directory_node& n) { return as_total(n.recursymlinks); }},
    {"others", "own_others", "Devicefiles", "tdother", "other", "Anzahl andere Files", "sd", "device",
     &report_options::display_row_devices, &report_options::sort_row_devices, false, "", "",
     [](const directory_node& n) { return as_total(n.devices); },
     [](const directory_node& n) { return as_total(n.recurdevices); }},
};

// The figure over the whole subtree, as the pages show it and sort by it.
inline byte_total total_of(const figure& f, const directory_node& node) { return f.own(node) + f.below(node); }

// The overview's columns after the name, in the order of a row's cells.
inline constexpr figure_index kOverviewFigures[] = {kSubdirs, kBytes, kFiles, kLinks, kOthers};
// The pages sorted by a figure, in the order they are written; the one by
// growth, where there is one, and the one by name come after them.
inline constexpr figure_index kPageFigures[] = {kBytes, kSubdirs, kFiles, kLinks, kOthers};

}  // namespace quern
