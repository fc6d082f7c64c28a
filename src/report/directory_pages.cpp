#include "report/directory_pages.h"

#include <mutex>
#include <vector>

#include "base/text.h"
#include "report/changes.h"
#include "report/dir_stats.h"
#include "report/directory_heading.h"
#include "report/directory_locks.h"
#include "report/ordering.h"
#include "report/overview_columns.h"
#include "report/overview_rows.h"
#include "report/page_frame.h"
#include "report/page_names.h"
#include "report/treemap.h"

namespace quern {

namespace {

// One page of a directory: sorted by a figure, by name, or by the change of
// bytes.
struct page_kind {
  std::string_view key;
  const figure* by;
  bool by_growth;
};

}  // namespace

struct page_workspace::buffers {
  std::string page;
  // Head, heading and statistics: the same on every page of a directory.
  std::string frame;
  // Where the keys of the heading's links stand in the frame.
  std::vector<size_t> frame_keys;
  overview_rows rows;
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
    work.trail_keys.push_back(append_page_name(work.trail, *up, kNamePageKey));
    work.trail += "\" class=\"toplistlink\">";
    append_html_escaped(work.trail, (*up)->name);
    work.trail += "</a> / ";
  }
  work.trail.append(work.ancestors.size(), ' ');
  work.trail += "\r\n</div>\r\n";
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
  work.frame_keys.clear();
  const earlier_entry then = append_directory_heading(work.frame, context, *node, false, work.frame_keys);
  if (context.earlier == nullptr) {
    build_rows(context, node, nullptr, work.rows);
    return;
  }
  earlier_subdirectories earlier(*context.earlier, then, *node);
  build_rows(context, node, &earlier, work.rows);
}

void append_frame(std::string& page, buffers& work, std::string_view key) {
  for (const size_t at : work.frame_keys) work.frame.replace(at, key.size(), key);
  page.assign(work.frame);
}

void append_trail(std::string& page, buffers& work, std::string_view key) {
  for (const size_t at : work.trail_keys) work.trail.replace(at, key.size(), key);
  page += work.trail;
}

void sort_rows(diagnostics& diag, directory_node* node, const figure* by) {
  if (node->currentsubdirs() <= 1) return;
  if (diag.shows(verbosity::operations)) diag.write("*** sorting\r\n");
  if (diag.shows(verbosity::comparisons)) {
    diag.write("*** dumping before sorting\r\n");
    dump(diag, node);
  }
  my_sort(node, by, diag);
  if (diag.shows(verbosity::comparisons)) {
    diag.write("*** dumping after sorting\r\n");
    dump(diag, node);
  }
}

void append_row(const report_context& context, int64_t position, const overview_rows::row& entry, std::string_view key,
                buffers& work) {
  diagnostics& diag = context.diag;
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
  const std::string_view text = work.rows.text;
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
  // With pictures, a row names the gaps in its figures.
  if (context.options.pictures) append_gap_marks(page, child->gaps);
  page += "</td>\r\n";
  page += text.substr(entry.cells_start, entry.end - entry.cells_start);
  page += "</tr>";
}

void append_removed_row(const overview_rows::removed_row& entry, buffers& work) {
  work.page.append(work.rows.removed_text, entry.start, entry.end - entry.start);
}

// A heading cell: a link to the page of its order, unless it is the order
// shown or not offered.
void append_heading_cell(std::string& page, std::string& cell, std::string_view word, std::string_view heading,
                         const directory_node* node, std::string_view key) {
  cell.clear();
  if (key.empty()) {
    cell += heading;
  } else {
    cell += "<a href=\"";
    append_page_name(cell, node, key);
    cell += "\">";
    cell += heading;
    cell += "</a>";
  }
  append_cell(page, "tdheadlist", word, cell);
}

void append_heading(const report_context& context, const directory_node* node, const page_kind& kind, buffers& work) {
  std::string& page = work.page;
  page += "<tr>\r\n";
  const bool by_name = kind.by == nullptr && !kind.by_growth;
  append_heading_cell(page, work.cell, kNameWord, kNameHeading, node, by_name ? "" : kNamePageKey);
  for (const figure_index index : kOverviewFigures) {
    const figure& f = kFigures[index];
    if (!shown(context.options, f)) continue;
    append_heading_cell(page, work.cell, f.word, f.heading, node,
                        &f == kind.by || !offered(context.options, f) ? "" : f.page_key);
    if (index == kBytes && context.options.pictures) append_cell(page, "tdheadlist", kShareWord, kShareHeading);
    if (context.earlier == nullptr || f.change_word.empty()) continue;
    const bool growth_link = index == kBytes && !kind.by_growth;
    append_heading_cell(page, work.cell, f.change_word, f.change_heading, node, growth_link ? kGrowthPageKey : "");
  }
  page += "</tr>";
}

void compose_page(const report_context& context, directory_node* node, const page_kind& kind, buffers& work) {
  std::string& page = work.page;
  append_frame(page, work, kind.key);
  append_trail(page, work, kind.key);
  page += "<div class=\"overviewtabletext\">\r\n<table class=\"overviewtable\">\r\n";
  append_heading(context, node, kind, work);
  if (!kind.by_growth) {
    sort_rows(context.diag, node, kind.by);
    for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot)
      append_row(context, slot, cached_row(work.rows, node->subdirpointer[slot]), kind.key, work);
    for (const overview_rows::removed_row& entry : work.rows.removed) append_removed_row(entry, work);
  } else {
    // The rows were put in this order once; the children keep the order
    // the page before left.
    int64_t position = 0;
    const overview_rows& rows = work.rows;
    for (const size_t index : rows.growth) {
      if (index < rows.rows.size()) {
        append_row(context, position++, rows.rows[index], kind.key, work);
      } else {
        append_removed_row(rows.removed[index - rows.rows.size()], work);
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
  for (const figure_index index : kPageFigures) {
    const figure& f = kFigures[index];
    if (shown(context.options, f) && offered(context.options, f)) pages.push_back({f.page_key, &f, false});
  }
  if (has_growth_page(context)) pages.push_back({kGrowthPageKey, nullptr, true});
  pages.push_back({kNamePageKey, nullptr, false});
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
  std::string name;
  for (const page_kind& kind : pages_of(context)) {
    name.clear();
    append_page_name(name, node, kind.key);
    if (context.diag.shows(verbosity::operations))
      context.diag.write("*** try to create html file " + context.options.outputdirectory + "/" + name + "\r\n");
    // Opened before the page is composed, so that a failed open leaves the
    // children unsorted for it and the trace keeps its order.
    std::unique_ptr<output_file> file;
    status result = context.output.create_file(name, file);
    if (result.is_ok()) {
      if (!prepared) {
        prepare_directory(context, node, work);
        prepared = true;
      }
      compose_page(context, node, kind, work);
      result = write_and_close(*file, work.page);
      file.reset();
    }
    if (!result.is_ok()) {
      context.diag.report_failure("Konnte Output HTML nicht erstellen", result);
      return written;
    }
    ++written;
  }
  return written;
}

// The treemap, once the pages have put the subdirectories in their last
// order; a map that cannot be written is removed, as a page would be. It is
// drawn before its file is opened: drawing waits for the locks of
// subdirectories whose writers may wait for a descriptor to be given back.
void write_treemap(const report_context& context, const directory_node* node, buffers& work) {
  draw_treemap(work.page, context, *node);
  std::string name;
  append_picture_name(name, node);
  std::unique_ptr<output_file> file;
  status result = context.output.create_file(name, file);
  if (result.is_ok()) result = write_and_close(*file, work.page);
  if (!result.is_ok()) context.diag.report_failure("Konnte Grafik nicht erstellen", result);
}

}  // namespace

int output_html_directory(const report_context& context, directory_node* node, page_workspace& workspace) {
  int written = 0;
  {
    // The writer of the parent's treemap may read the subdirectories.
    std::unique_lock<std::mutex> sorting;
    if (context.locks != nullptr && context.options.pictures)
      sorting = std::unique_lock<std::mutex>(context.locks->of(*node));
    written = write_pages(context, node, workspace.get());
  }
  if (context.options.pictures) write_treemap(context, node, workspace.get());
  if (context.ledger != nullptr) context.ledger->pages_written(node);
  return written;
}

}  // namespace quern
