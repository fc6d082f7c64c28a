#include "report/directory_pages.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "base/text.h"
#include "report/changes.h"
#include "report/dir_stats.h"
#include "report/ordering.h"
#include "report/owner_table.h"
#include "report/page_frame.h"
#include "report/page_names.h"
#include "report/summary_format.h"

namespace quern {

namespace {

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
constexpr column kColumns[6] = {
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
constexpr const column& kNameColumn = kColumns[0];
constexpr const column& kBytesColumn = kColumns[2];

// The pages are written in this order; the one by name comes last, so that
// the walk finds the children in name order.
constexpr int kPageColumns[6] = {2, 1, 3, 4, 5, 0};

bool shown(const report_options& options, const column& c) { return c.display == nullptr || options.*c.display != 0; }
bool offered(const report_options& options, const column& c) { return c.sort == nullptr || options.*c.sort != 0; }

// The page sorted by the change of bytes goes with that column.
bool has_growth_page(const report_context& context) {
  return context.earlier != nullptr && shown(context.options, kBytesColumn);
}

// One page of a directory: sorted by a column, or, without one, by the
// change of bytes.
struct page_kind {
  std::string_view key;
  const column* by;
};

void append_cell(std::string& page, std::string_view prefix, std::string_view word, std::string_view text) {
  page += " <td class=\"";
  page += prefix;
  page += word;
  page += "\">";
  page += text;
  page += "</td>\r\n";
}

}  // namespace

struct page_workspace::buffers {
  // Where a child's escaped name and its number cells lie in row_text, and
  // how it compares with the earlier report. The rows are reordered between
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

  std::string page;
  // Head, heading and statistics: the same on every page of a directory.
  std::string frame;
  std::string row_text;
  std::vector<row> rows;
  std::vector<removed_row> removed;
  std::string removed_text;
  // The rows in the order of the page by change: indices into rows, then
  // those into removed above rows.size().
  std::vector<size_t> growth;
  std::vector<const directory_node*> ancestors;
  // The trail of parent links differs between the pages of a directory only
  // in the key of its links, which is patched in at these offsets.
  std::string trail;
  std::vector<size_t> trail_keys;
  std::string cell;
  std::string trace;
};

page_workspace::page_workspace() : buffers_(std::make_unique<buffers>()) {}
page_workspace::~page_workspace() = default;

namespace {

using buffers = page_workspace::buffers;

// Links from the root down to the parent, for the page sorted by name.
void build_trail(const directory_node* node, buffers& work) {
  work.trail.clear();
  work.trail_keys.clear();
  if (node->parent == nullptr) return;
  work.ancestors.clear();
  for (const directory_node* up = node->parent; up != nullptr; up = up->parent) work.ancestors.push_back(up);
  work.trail += "<div class=\"toplist\">\r\n&Uuml;bergeordnete Verzeichnisse : ";
  for (auto up = work.ancestors.rbegin(); up != work.ancestors.rend(); ++up) {
    work.trail += "<a href=\"";
    work.trail_keys.push_back(append_page_name(work.trail, *up, sort_order::name));
    work.trail += "\" class=\"toplistlink\">";
    append_html_escaped(work.trail, (*up)->name);
    work.trail += "</a> / ";
  }
  work.trail.append(work.ancestors.size(), ' ');
  work.trail += "\r\n</div>\r\n";
}

std::string change_text(const totals_change& change, const column& c) {
  if (!change.known) return {};
  return &c == &kBytesColumn ? dotted_change(change.bytes) : dotted_change(change.files);
}

// The number cells of a row, in column order, with the changes beside them
// where the pages show changes; null figures for a row that is gone.
void append_number_cells(std::string& out, const report_context& context, const directory_node* figures,
                         const totals_change& change) {
  for (size_t index = 1; index < 6; ++index) {
    const column& c = kColumns[index];
    if (!shown(context.options, c)) continue;
    if (figures != nullptr) {
      append_cell(out, "tdlist", c.word, dotted(order_total(*figures, c.order)));
    } else {
      append_cell(out, "tdlist", "removed", "");
    }
    if (context.earlier != nullptr && c.change_word != nullptr)
      append_cell(out, "tdlist", c.change_word, change_text(change, c));
  }
}

// The subdirectories the earlier report had and this one has not, rows of
// their own after the others; their names are not links.
void build_removed_rows(const report_context& context, const earlier_subdirectories& earlier, buffers& work) {
  work.removed.clear();
  work.removed_text.clear();
  const old_summary& old = *context.earlier;
  for (const uint32_t line : earlier.gone()) {
    buffers::removed_row entry;
    summary_unescaped(old.name(line), entry.name);
    entry.change = change_of_removed(old, line);
    work.removed.push_back(std::move(entry));
  }
  std::sort(work.removed.begin(), work.removed.end(),
            [](const buffers::removed_row& a, const buffers::removed_row& b) { return a.name < b.name; });
  for (buffers::removed_row& entry : work.removed) {
    entry.start = work.removed_text.size();
    work.removed_text += "<tr class=\"removed\">\r\n <td class=\"tdlistremovedname\">";
    append_html_escaped(work.removed_text, entry.name);
    work.removed_text += " <span class=\"mark\">entfernt</span></td>\r\n";
    append_number_cells(work.removed_text, context, nullptr, entry.change);
    work.removed_text += "</tr>";
    entry.end = work.removed_text.size();
  }
}

// The page by change: the largest growth first, equal changes by name, and
// the rows whose change is unknown after all others, by name.
void order_by_growth(buffers& work) {
  struct growth_key {
    bool known;
    byte_change change;
    std::string_view name;
  };
  const auto key = [&work](size_t index) {
    if (index < work.rows.size()) {
      const buffers::row& entry = work.rows[index];
      return growth_key{entry.change_known, entry.change, entry.child->name};
    }
    const buffers::removed_row& entry = work.removed[index - work.rows.size()];
    return growth_key{entry.change.known, entry.change.bytes, entry.name};
  };
  work.growth.clear();
  for (size_t index = 0; index < work.rows.size() + work.removed.size(); ++index) work.growth.push_back(index);
  std::sort(work.growth.begin(), work.growth.end(), [&key](size_t a, size_t b) {
    const growth_key first = key(a);
    const growth_key second = key(b);
    if (first.known != second.known) return first.known;
    if (first.known && first.change != second.change) return first.change > second.change;
    return first.name < second.name;
  });
}

// Each child's name and numbers, formatted once for all pages.
void build_rows(const report_context& context, const directory_node* node, earlier_subdirectories* earlier,
                buffers& work) {
  work.row_text.clear();
  work.rows.clear();
  for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
    const directory_node* child = node->subdirpointer[slot];
    buffers::row entry{child, work.row_text.size(), 0, 0, false, false, {}};
    totals_change change;
    if (earlier != nullptr) {
      const earlier_entry then = earlier->find(child->name);
      change = change_since(*context.earlier, then, *child);
      entry.added = then.is == earlier_entry::kind::added;
      entry.change_known = change.known;
      entry.change = change.bytes;
    }
    append_html_escaped(work.row_text, child->name);
    entry.cells_start = work.row_text.size();
    append_number_cells(work.row_text, context, child, change);
    entry.end = work.row_text.size();
    work.rows.push_back(entry);
  }
  std::sort(work.rows.begin(), work.rows.end(),
            [](const buffers::row& a, const buffers::row& b) { return std::less<>()(a.child, b.child); });
  if (earlier != nullptr) {
    build_removed_rows(context, *earlier, work);
    if (has_growth_page(context)) order_by_growth(work);
  }
}

// Everything that all pages of the directory share, built once when its
// first page has been opened.
void prepare_directory(const report_context& context, const directory_node* node, buffers& work) {
  const std::string path = node_path(node);
  work.frame.clear();
  output_html_head(work.frame, "Quern - " + path);
  work.frame += "<h1>";
  append_html_escaped(work.frame, path);
  work.frame += "</h1>\r\n";
  build_trail(node, work);
  if (context.earlier == nullptr) {
    output_dir_stats(work.frame, *node, true);
    if (context.owners != nullptr) append_owner_table(work.frame, *context.owners, *node);
    build_rows(context, node, nullptr, work);
    return;
  }
  const earlier_entry then = find_earlier(*context.earlier, *node);
  const totals_change change = change_since(*context.earlier, then, *node);
  output_dir_stats(work.frame, *node, true, &change);
  if (context.owners != nullptr) append_owner_table(work.frame, *context.owners, *node, context.earlier);
  earlier_subdirectories earlier(*context.earlier, then, *node);
  build_rows(context, node, &earlier, work);
}

const buffers::row& cached_row(const buffers& work, const directory_node* child) {
  return *std::lower_bound(
      work.rows.begin(), work.rows.end(), child,
      [](const buffers::row& entry, const directory_node* c) { return std::less<>()(entry.child, c); });
}

void append_trail(std::string& page, buffers& work, std::string_view key) {
  for (const size_t at : work.trail_keys) work.trail.replace(at, key.size(), key);
  page += work.trail;
}

void sort_rows(diagnostics& diag, directory_node* node, sort_order order) {
  if (node->currentsubdirs() <= 1) return;
  if (diag.shows(verbosity::operations)) diag.write("*** sorting\r\n");
  if (diag.shows(verbosity::comparisons)) {
    diag.write("*** dumping before sorting\r\n");
    dump(diag, node);
  }
  my_sort(node, order, diag);
  if (diag.shows(verbosity::comparisons)) {
    diag.write("*** dumping after sorting\r\n");
    dump(diag, node);
  }
}

void append_row(diagnostics& diag, int64_t position, const buffers::row& entry, std::string_view key, buffers& work) {
  std::string& page = work.page;
  const directory_node* child = entry.child;
  if (diag.shows(verbosity::operations)) {
    work.trace = "*** generate entry ";
    append_decimal(work.trace, position);
    work.trace += " -> ";
    append_node_id(work.trace, child);
    work.trace += "\r\n";
    diag.write(work.trace);
  }
  const std::string_view text = work.row_text;
  const std::string_view name = text.substr(entry.name_start, entry.cells_start - entry.name_start);
  page += entry.added ? "<tr class=\"new\">\r\n <td class=\"tdlistname\">" : "<tr>\r\n <td class=\"tdlistname\">";
  // Only a directory with subdirectories has pages to link to.
  if (child->currentsubdirs() > 0) {
    page += "<a href=\"";
    append_page_name(page, child, key);
    page += "\">";
    page += name;
    page += "</a>";
  } else {
    page += name;
  }
  if (entry.added) page += " <span class=\"mark\">neu</span>";
  page += "</td>\r\n";
  page += text.substr(entry.cells_start, entry.end - entry.cells_start);
  page += "</tr>";
}

void append_removed_row(const buffers::removed_row& entry, buffers& work) {
  work.page.append(work.removed_text, entry.start, entry.end - entry.start);
}

void append_heading(const report_context& context, const directory_node* node, const page_kind& kind, buffers& work) {
  std::string& page = work.page;
  page += "<tr>\r\n";
  for (const column& c : kColumns) {
    if (!shown(context.options, c)) continue;
    std::string& cell = work.cell;
    cell.clear();
    if (&c == kind.by || !offered(context.options, c)) {
      cell += c.heading;
    } else {
      cell += "<a href=\"";
      append_page_name(cell, node, c.order);
      cell += "\">";
      cell += c.heading;
      cell += "</a>";
    }
    append_cell(page, "tdheadlist", c.word, cell);
    if (context.earlier == nullptr || c.change_word == nullptr) continue;
    cell.clear();
    if (&c == &kBytesColumn && kind.by != nullptr) {
      cell += "<a href=\"";
      append_page_name(cell, node, kGrowthPageKey);
      cell += "\">";
      cell += c.change_heading;
      cell += "</a>";
    } else {
      cell += c.change_heading;
    }
    append_cell(page, "tdheadlist", c.change_word, cell);
  }
  page += "</tr>";
}

void compose_page(const report_context& context, directory_node* node, const page_kind& kind, buffers& work) {
  std::string& page = work.page;
  page.assign(work.frame);
  append_trail(page, work, kind.key);
  page += "<div class=\"overviewtabletext\">\r\n<table class=\"overviewtable\">\r\n";
  append_heading(context, node, kind, work);
  if (kind.by != nullptr) {
    sort_rows(context.diag, node, kind.by->order);
    for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot)
      append_row(context.diag, slot, cached_row(work, node->subdirpointer[slot]), kind.key, work);
    for (const buffers::removed_row& entry : work.removed) append_removed_row(entry, work);
  } else {
    // The rows were put in this order once; the children keep the order
    // the page before left.
    int64_t position = 0;
    for (const size_t index : work.growth) {
      if (index < work.rows.size()) {
        append_row(context.diag, position++, work.rows[index], kind.key, work);
      } else {
        append_removed_row(work.removed[index - work.rows.size()], work);
      }
    }
  }
  page += "</table>\r\n</div>\r\n";
  output_html_footer(page);
  page += "</body>\r\n</html>\r\n";
}

// The directory's pages in the order they are written: one per column
// shown and offered, and the one by change before the one by name.
std::vector<page_kind> pages_of(const report_context& context) {
  std::vector<page_kind> pages;
  for (const int index : kPageColumns) {
    const column& c = kColumns[index];
    if (&c == &kNameColumn && has_growth_page(context)) pages.push_back({kGrowthPageKey, nullptr});
    if (shown(context.options, c) && offered(context.options, c)) pages.push_back({page_key(c.order), &c});
  }
  return pages;
}

}  // namespace

int pages_per_directory(const report_context& context) { return static_cast<int>(pages_of(context).size()); }

int output_html_directory(const report_context& context, directory_node* node) {
  page_workspace workspace;
  return output_html_directory(context, node, workspace);
}

namespace {

int write_pages(const report_context& context, directory_node* node, buffers& work) {
  bool prepared = false;
  int written = 0;
  std::string path;
  for (const page_kind& kind : pages_of(context)) {
    path = context.options.outputdirectory;
    path += '/';
    append_page_name(path, node, kind.key);
    if (context.diag.shows(verbosity::operations)) context.diag.write("*** try to create html file " + path + "\r\n");
    // Opened before the page is composed, so that a failed open leaves the
    // children unsorted for it and the trace keeps its order.
    std::unique_ptr<output_file> file;
    status result = context.files.create_file(path, file);
    if (result.is_ok()) {
      if (!prepared) {
        prepare_directory(context, node, work);
        prepared = true;
      }
      compose_page(context, node, kind, work);
      result = write_or_remove(context.files, path, *file, work.page);
    }
    if (!result.is_ok()) {
      context.diag.report_failure("Konnte Output HTML nicht erstellen", result);
      return written;
    }
    ++written;
  }
  return written;
}

}  // namespace

int output_html_directory(const report_context& context, directory_node* node, page_workspace& workspace) {
  const int written = write_pages(context, node, workspace.get());
  if (context.owners != nullptr) context.owners->pages_written(node);
  return written;
}

}  // namespace quern
