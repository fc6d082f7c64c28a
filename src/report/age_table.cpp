#include "report/age_table.h"

#include <algorithm>

#include "base/text.h"
#include "report/owner_table.h"
#include "report/page_frame.h"
#include "report/share_bar.h"

namespace quern {

namespace {

// One rule per line, as the style sheet has them.
// clang-format off
constexpr std::string_view kRules =
    ".detailstext { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#000000; text-align:left; margin: 10px 10px 10px 10px; padding: 5px 5px 5px 5px; }\r\n"
    ".detailstable { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#000000; text-align:left; margin: 10px 10px 10px 10px; padding: 5px 5px 5px 5px; border-collapse: collapse; border-spacing: 5px; border: solid; border-width: 1px; }\r\n"
    ".tdheaddetail { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tddetailname { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: left; }\r\n"
    ".tddetailnumber { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n";
// clang-format on

struct age_row {
  summary_age age = {};
  bool gone = false;  // held bytes then, none now
  bool change_known = false;
  byte_change change = {};
};

std::vector<age_row> age_rows(const std::vector<summary_age>& now, const age_classes& classes,
                              const earlier_ages* earlier) {
  std::vector<age_row> rows;
  for (const summary_age& age : now) rows.push_back({.age = age});
  if (earlier == nullptr || !earlier->known) return rows;
  const auto is_year = [](const summary_age& age) { return age.is == summary_age::kind::year; };
  for (age_row& row : rows) {
    if (!is_year(row.age)) continue;
    byte_total before;
    for (const summary_age& old : earlier->ages) {
      if (is_year(old) && old.year == row.age.year) before = old.bytes;
    }
    row.change_known = true;
    row.change = byte_change::between(before, row.age.bytes);
  }
  for (const summary_age& old : earlier->ages) {
    if (!is_year(old) || old.year > classes.year(1) || old.year < classes.year(kAgeYears)) continue;
    const bool held_now = std::any_of(rows.begin(), rows.end(), [&old, &is_year](const age_row& row) {
      return is_year(row.age) && row.age.year == old.year;
    });
    if (held_now) continue;
    rows.push_back({.age = {.year = old.year, .bytes = {}},
                    .gone = true,
                    .change_known = true,
                    .change = byte_change::between(old.bytes, byte_total())});
  }
  // Newest first, as the classes are numbered.
  std::stable_sort(rows.begin(), rows.end(), [](const age_row& a, const age_row& b) {
    if (a.age.is != b.age.is) return a.age.is < b.age.is;
    return a.age.is == summary_age::kind::year && a.age.year > b.age.year;
  });
  return rows;
}

void append_label(std::string& cell, const summary_age& age) {
  switch (age.is) {
    case summary_age::kind::later: cell += "nach Beginn des Laufs"; break;
    case summary_age::kind::year: append_decimal(cell, age.year); break;
    case summary_age::kind::older: cell += "&auml;lter"; break;
  }
}

}  // namespace

void summary_ages_of(const keyed_figures& ages, const age_classes& classes, std::vector<summary_age>& out) {
  out.clear();
  for (const keyed_share& share : ages.shares()) {
    // A link that takes no space holds nothing.
    if (share.files == 0 && share.bytes == byte_total()) continue;
    summary_age age{.bytes = share.bytes, .files = share.files};
    if (share.key == kAgeLater) {
      age.is = summary_age::kind::later;
    } else if (share.key == kAgeOlder) {
      age.is = summary_age::kind::older;
    } else {
      age.year = classes.year(share.key);
    }
    out.push_back(age);
  }
}

earlier_ages ages_before(const old_summary& old, earlier_entry then, const directory_node& node) {
  earlier_ages before;
  if (!old.bytes_compare() || (node.gaps & kIncomplete) != 0 || then.line == old_summary::kNone) return before;
  if ((old.figures(then.line).gaps & kIncomplete) != 0) return before;
  before.known = old.ages(then.line, before.ages);
  return before;
}

void append_age_table(std::string& page, const detail_ledger& ledger, const directory_node& node,
                      const earlier_ages* earlier, bool bars) {
  std::vector<summary_age> now;
  summary_ages_of(ledger.details(&node).ages, *ledger.options().ages, now);
  const std::vector<age_row> rows = age_rows(now, *ledger.options().ages, earlier);
  const byte_total whole = node.total_size();
  page +=
      "<div class=\"detailstext\">\r\n<table class=\"detailstable\">\r\n<tr>\r\n"
      " <td class=\"tdheaddetail\">Letzte &Auml;nderung</td>\r\n"
      " <td class=\"tdheaddetail\">Belegte Bytes</td>\r\n"
      " <td class=\"tdheaddetail\">Dateien</td>\r\n"
      " <td class=\"tdheaddetail\">Anteil</td>\r\n";
  if (earlier != nullptr) page += " <td class=\"tdheaddetail\">&Auml;nderung</td>\r\n";
  page += "</tr>\r\n";
  std::string cell;
  for (const age_row& row : rows) {
    page += row.gone ? "<tr class=\"removed\">\r\n" : "<tr>\r\n";
    cell.clear();
    append_label(cell, row.age);
    append_cell(page, "tddetailname", cell);
    append_cell(page, "tddetailnumber", row.gone ? std::string() : dotted(row.age.bytes));
    append_cell(page, "tddetailnumber", row.gone ? std::string() : dotted(row.age.files));
    cell.clear();
    if (!row.gone) {
      if (bars) append_share_bar(cell, row.age.bytes, whole);
      cell += share_text(row.age.bytes, whole);
    }
    append_cell(page, "tddetailnumber", cell);
    if (earlier != nullptr) append_cell(page, "tddetailnumber", row.change_known ? dotted_change(row.change) : "");
    page += "</tr>\r\n";
  }
  page += "</table>\r\n</div>\r\n";
}

std::string_view detail_table_rules() { return kRules; }

}  // namespace quern
