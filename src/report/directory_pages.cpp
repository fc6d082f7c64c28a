#include "report/directory_pages.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "base/text.h"
#include "report/dir_stats.h"
#include "report/ordering.h"
#include "report/owner_table.h"
#include "report/page_frame.h"
#include "report/page_names.h"

namespace quern {

namespace {

// A column of the overview table and the page sorted by it.
struct column {
  const char* word;
  const char* heading;
  sort_order order;
  int report_options::*display;  // null: always shown
  int report_options::*sort;     // null: always offered
};

// In the order of the cells of a row.
constexpr column kColumns[6] = {
    {"name", "Unterverzeichnisname", sort_order::name, nullptr, nullptr},
    {"subdir", "Anzahl<br>Unterverzeichnisse", sort_order::subdirs, &report_options::display_row_subdirs,
     &report_options::sort_row_subdirs},
    {"bytes", "Anzahl Bytes", sort_order::size, &report_options::display_row_size, &report_options::sort_row_size},
    {"files", "Anzahl Files", sort_order::files, &report_options::display_row_files, &report_options::sort_row_files},
    {"symlink", "Anzahl Symlinks", sort_order::symlinks, &report_options::display_row_symlinks,
     &report_options::sort_row_symlinks},
    {"other", "Anzahl andere Files", sort_order::devices, &report_options::display_row_devices,
     &report_options::sort_row_devices},
};

// The pages are written in this order; the one by name comes last, so that
// the walk finds the children in name order.
constexpr int kPageColumns[6] = {2, 1, 3, 4, 5, 0};

bool shown(const report_options& options, const column& c) { return c.display == nullptr || options.*c.display != 0; }
bool offered(const report_options& options, const column& c) { return c.sort == nullptr || options.*c.sort != 0; }

void append_cell(std::string& page, std::string_view prefix, const column& c, std::string_view text) {
  page += " <td class=\"";
  page += prefix;
  page += c.word;
  page += "\">";
  page += text;
  page += "</td>\r\n";
}

}  // namespace

struct page_workspace::buffers {
  // Where a child's escaped name and its number cells lie in row_text. The
  // rows are reordered between pages, so they are found by child, not by
  // position.
  struct row {
    const directory_node* child;
    size_t name_start;
    size_t cells_start;
    size_t end;
  };

  std::string page;
  // Head, heading and statistics: the same on every page of a directory.
  std::string frame;
  std::string row_text;
  std::vector<row> rows;
  std::vector<const directory_node*> ancestors;
  // The trail of parent links differs between the pages of a directory only
  // in the key of its links, which is patched in at these offsets.
  std::string trail;
  std::vector<size_t> trail_keys;
  std::string cells[6];
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

// Each child's name and numbers, formatted once for all pages.
void build_rows(const report_options& options, const directory_node* node, buffers& work) {
  work.row_text.clear();
  work.rows.clear();
  for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
    const directory_node* child = node->subdirpointer[slot];
    buffers::row entry{child, work.row_text.size(), 0, 0};
    append_html_escaped(work.row_text, child->name);
    entry.cells_start = work.row_text.size();
    for (size_t index = 1; index < 6; ++index) {
      const column& c = kColumns[index];
      if (shown(options, c)) append_cell(work.row_text, "tdlist", c, dotted(order_total(*child, c.order)));
    }
    entry.end = work.row_text.size();
    work.rows.push_back(entry);
  }
  std::sort(work.rows.begin(), work.rows.end(),
            [](const buffers::row& a, const buffers::row& b) { return std::less<>()(a.child, b.child); });
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
  output_dir_stats(work.frame, *node, true);
  if (context.owners != nullptr) append_owner_table(work.frame, *context.owners, *node);
  build_trail(node, work);
  build_rows(context.options, node, work);
}

const buffers::row& cached_row(const buffers& work, const directory_node* child) {
  return *std::lower_bound(
      work.rows.begin(), work.rows.end(), child,
      [](const buffers::row& entry, const directory_node* c) { return std::less<>()(entry.child, c); });
}

void append_trail(std::string& page, buffers& work, sort_order order) {
  const std::string_view key = page_key(order);
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

void append_rows(diagnostics& diag, const directory_node* node, sort_order order, buffers& work) {
  std::string& page = work.page;
  for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
    const directory_node* child = node->subdirpointer[slot];
    if (diag.shows(verbosity::operations)) {
      work.trace = "*** generate entry ";
      append_decimal(work.trace, slot);
      work.trace += " -> ";
      append_node_id(work.trace, child);
      work.trace += "\r\n";
      diag.write(work.trace);
    }
    const buffers::row& entry = cached_row(work, child);
    const std::string_view text = work.row_text;
    const std::string_view name = text.substr(entry.name_start, entry.cells_start - entry.name_start);
    page += "<tr>\r\n <td class=\"tdlistname\">";
    // Only a directory with subdirectories has pages to link to.
    if (child->currentsubdirs() > 0) {
      page += "<a href=\"";
      append_page_name(page, child, order);
      page += "\">";
      page += name;
      page += "</a>";
    } else {
      page += name;
    }
    page += "</td>\r\n";
    page += text.substr(entry.cells_start, entry.end - entry.cells_start);
    page += "</tr>";
  }
}

void compose_page(const report_context& context, directory_node* node, const column& page_column, buffers& work) {
  std::string& page = work.page;
  page.assign(work.frame);
  append_trail(page, work, page_column.order);
  page += "<div class=\"overviewtabletext\">\r\n<table class=\"overviewtable\">\r\n";
  for (size_t index = 0; index < 6; ++index) {
    const column& c = kColumns[index];
    std::string& cell = work.cells[index];
    cell.clear();
    if (&c == &page_column || !offered(context.options, c)) {
      cell += c.heading;
      continue;
    }
    cell += "<a href=\"";
    append_page_name(cell, node, c.order);
    cell += "\">";
    cell += c.heading;
    cell += "</a>";
  }
  output_overview_row(page, context.options, work.cells, true);
  sort_rows(context.diag, node, page_column.order);
  append_rows(context.diag, node, page_column.order, work);
  page += "</table>\r\n</div>\r\n";
  output_html_footer(page);
  page += "</body>\r\n</html>\r\n";
}

}  // namespace

int pages_per_directory(const report_options& options) {
  int pages = 0;
  for (const column& c : kColumns) pages += shown(options, c) && offered(options, c) ? 1 : 0;
  return pages;
}

void output_overview_row(std::string& page, const report_options& options, const std::string cells[6], bool heading) {
  const std::string_view prefix = heading ? "tdheadlist" : "tdlist";
  page += "<tr>\r\n";
  for (size_t index = 0; index < 6; ++index) {
    if (shown(options, kColumns[index])) append_cell(page, prefix, kColumns[index], cells[index]);
  }
  page += "</tr>";
}

int output_html_directory(const report_context& context, directory_node* node) {
  page_workspace workspace;
  return output_html_directory(context, node, workspace);
}

namespace {

int write_pages(const report_context& context, directory_node* node, buffers& work) {
  bool prepared = false;
  int written = 0;
  std::string path;
  for (const int index : kPageColumns) {
    const column& page_column = kColumns[index];
    if (!shown(context.options, page_column) || !offered(context.options, page_column)) continue;
    path = context.options.outputdirectory;
    path += '/';
    append_page_name(path, node, page_column.order);
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
      compose_page(context, node, page_column, work);
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
