#include "report/overview_rows.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "base/text.h"
#include "report/old_summary.h"
#include "report/overview_columns.h"
#include "report/page_frame.h"
#include "report/share_bar.h"
#include "report/summary_escaping.h"
#include "report/summary_format.h"

namespace quern {

namespace {

// The subdirectories the earlier report had and this one has not, rows of
// their own after the others; their names are not links.
void build_removed_rows(const report_context& context, const earlier_subdirectories& earlier, overview_rows& rows) {
  const old_summary& old = *context.earlier;
  for (const uint32_t line : earlier.gone()) {
    overview_rows::removed_row entry;
    summary_unescaped(old.name(line), entry.name);
    entry.change = change_of_removed(old, line);
    rows.removed.push_back(std::move(entry));
  }
  std::sort(rows.removed.begin(), rows.removed.end(),
            [](const overview_rows::removed_row& a, const overview_rows::removed_row& b) { return a.name < b.name; });
  for (overview_rows::removed_row& entry : rows.removed) {
    entry.start = rows.removed_text.size();
    rows.removed_text += "<tr class=\"removed\">\r\n <td class=\"tdlistremovedname\">";
    append_html_escaped(rows.removed_text, entry.name);
    rows.removed_text += " <span class=\"mark\">entfernt</span></td>\r\n";
    append_number_cells(rows.removed_text, context, nullptr, entry.change, byte_total());
    rows.removed_text += "</tr>";
    entry.end = rows.removed_text.size();
  }
}

// The page by change: the largest growth first, equal changes by name, and
// the rows whose change is unknown after all others, by name.
void order_by_growth(overview_rows& rows) {
  struct growth_key {
    bool known;
    byte_change change;
    std::string_view name;
  };
  const auto key = [&rows](size_t index) {
    if (index < rows.rows.size()) {
      const overview_rows::row& entry = rows.rows[index];
      return growth_key{entry.change_known, entry.change, entry.child->name};
    }
    const overview_rows::removed_row& entry = rows.removed[index - rows.rows.size()];
    return growth_key{entry.change.knows(kBytes), entry.change.of[kBytes], entry.name};
  };
  rows.growth.clear();
  for (size_t index = 0; index < rows.rows.size() + rows.removed.size(); ++index) rows.growth.push_back(index);
  std::sort(rows.growth.begin(), rows.growth.end(), [&key](size_t a, size_t b) {
    const growth_key first = key(a);
    const growth_key second = key(b);
    if (first.known != second.known) return first.known;
    if (first.known && first.change != second.change) return first.change > second.change;
    return first.name < second.name;
  });
}

}  // namespace

void append_number_cells(std::string& out, const report_context& context, const directory_node* figures,
                         const totals_change& change, const byte_total& whole) {
  for (const figure_index index : kOverviewFigures) {
    const figure& f = kFigures[index];
    if (!shown(context.options, f)) continue;
    if (figures != nullptr) {
      append_cell(out, "tdlist", f.word, dotted(total_of(f, *figures)));
    } else {
      append_cell(out, "tdlist", "removed", "");
    }
    if (index == kBytes && context.options.pictures) {
      append_cell(out, "tdlist", kShareWord,
                  figures != nullptr ? overview_share_cell(figures->total_size(), whole) : std::string());
    }
    if (context.earlier != nullptr && !f.change_word.empty())
      append_cell(out, "tdlist", f.change_word, change.knows(index) ? dotted_change(change.of[index]) : std::string());
  }
}

void build_rows(const report_context& context, const directory_node* node, earlier_subdirectories* earlier,
                overview_rows& rows) {
  rows.text.clear();
  rows.rows.clear();
  for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
    const directory_node* child = node->subdirpointer[slot];
    overview_rows::row entry{child, rows.text.size(), 0, 0, false, false, {}};
    totals_change change;
    if (earlier != nullptr) {
      const earlier_entry then = earlier->find(child->name);
      change = change_since(*context.earlier, then, *child);
      entry.added = then.is == earlier_entry::kind::added;
      entry.change_known = change.knows(kBytes);
      entry.change = change.of[kBytes];
    }
    append_html_escaped(rows.text, child->name);
    entry.cells_start = rows.text.size();
    append_number_cells(rows.text, context, child, change, node->total_size());
    entry.end = rows.text.size();
    rows.rows.push_back(entry);
  }
  std::sort(rows.rows.begin(), rows.rows.end(),
            [](const overview_rows::row& a, const overview_rows::row& b) { return std::less<>()(a.child, b.child); });
  rows.removed.clear();
  rows.removed_text.clear();
  rows.growth.clear();
  if (earlier != nullptr) {
    build_removed_rows(context, *earlier, rows);
    if (has_growth_page(context)) order_by_growth(rows);
  }
}

const overview_rows::row& cached_row(const overview_rows& rows, const directory_node* child) {
  return *std::lower_bound(
      rows.rows.begin(), rows.rows.end(), child,
      [](const overview_rows::row& entry, const directory_node* c) { return std::less<>()(entry.child, c); });
}

}  // namespace quern
