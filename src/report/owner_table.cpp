#include "report/owner_table.h"

#include <algorithm>

#include "base/text.h"
#include "report/changes.h"
#include "report/page_frame.h"
#include "report/share_bar.h"

namespace quern {

namespace {

// One rule per line, as the style sheet has them.
// clang-format off
constexpr std::string_view kRules =
    ".ownerstext { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#000000; text-align:left; margin: 10px 10px 10px 10px; padding: 5px 5px 5px 5px; }\r\n"
    ".ownerstable { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#000000; text-align:left; margin: 10px 10px 10px 10px; padding: 5px 5px 5px 5px; border-collapse: collapse; border-spacing: 5px; border: solid; border-width: 1px; }\r\n"
    ".tdheadownername { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdheadownerbytes { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdheadownerfiles { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdheadownershare { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdownername { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: left; }\r\n"
    ".tdownerothers { font-family:Arial,Helvetica,sans-serif; font-style:italic; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: left; }\r\n"
    ".tdownerbytes { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdownerfiles { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdownershare { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n";
constexpr std::string_view kChangeRules =
    ".tdheadownerchange { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdownerchange { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n";
// clang-format on

}  // namespace

std::vector<owner_row> owner_rows(const keyed_figures& figures, detail_ledger& owners, size_t named) {
  struct ranked {
    owner_row row;
    owner_id owner;
  };
  std::vector<ranked> all;
  all.reserve(figures.shares().size());
  for (const keyed_share& share : figures.shares()) {
    owner_row row;
    row.name = owners.name(share.key);
    row.bytes = share.bytes;
    row.files = share.files;
    all.push_back({std::move(row), share.key});
  }
  const auto first = [](const ranked& a, const ranked& b) {
    if (a.row.bytes != b.row.bytes) return a.row.bytes > b.row.bytes;
    if (a.row.name != b.row.name) return a.row.name < b.row.name;
    return a.owner < b.owner;
  };
  const size_t shown = std::min(named, all.size());
  std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(shown), all.end(), first);
  std::vector<owner_row> rows;
  rows.reserve(shown + 1);
  for (size_t at = 0; at < shown; ++at) rows.push_back(std::move(all[at].row));
  if (shown < all.size()) {
    owner_row others;
    others.others = all.size() - shown;
    for (size_t at = shown; at < all.size(); ++at) {
      others.bytes += all[at].row.bytes;
      others.files += all[at].row.files;
    }
    rows.push_back(std::move(others));
  }
  return rows;
}

earlier_owners owners_before(const old_summary& old, earlier_entry then, const directory_node& node) {
  earlier_owners before;
  if (!old.bytes_compare() || (node.gaps & kIncomplete) != 0 || then.line == old_summary::kNone) return before;
  if ((old.figures(then.line).gaps & kIncomplete) != 0) return before;
  before.known = old.owners(then.line, before.owners);
  return before;
}

std::vector<owner_row> owner_rows(const keyed_figures& figures, detail_ledger& owners, const earlier_owners& before,
                                  size_t named) {
  if (!before.known) return owner_rows(figures, owners, named);
  std::vector<owner_row> all = owner_rows(figures, owners, SIZE_MAX);
  // Each row's bytes then.
  std::vector<byte_total> then_bytes(all.size());
  // The earlier owners by name; each is matched once, by the first row of
  // its name, so that owners of one name are not taken for it twice.
  std::vector<const summary_owner*> then;
  then.reserve(before.owners.size());
  for (const summary_owner& owner : before.owners) then.push_back(&owner);
  const auto by_name = [](const summary_owner* a, const summary_owner* b) { return a->name < b->name; };
  std::sort(then.begin(), then.end(), by_name);
  std::vector<bool> matched(then.size(), false);
  for (size_t index = 0; index < all.size(); ++index) {
    owner_row& row = all[index];
    byte_total& earlier_bytes = then_bytes[index];
    const summary_owner key{row.name, {}, 0};
    const auto found = std::lower_bound(then.begin(), then.end(), &key, by_name);
    if (found != then.end() && (*found)->name == row.name && !matched[static_cast<size_t>(found - then.begin())]) {
      matched[static_cast<size_t>(found - then.begin())] = true;
      earlier_bytes = (*found)->bytes;
    }
    row.change_known = true;
    row.change = byte_change::between(earlier_bytes, row.bytes);
  }
  // The earlier list is in its order: the most bytes first, ties by name.
  for (const summary_owner& owner : before.owners) {
    const summary_owner* const at = &owner;
    const auto found = std::lower_bound(then.begin(), then.end(), at, by_name);
    if (matched[static_cast<size_t>(found - then.begin())]) continue;
    owner_row row;
    row.name = owner.name;
    row.gone = true;
    row.change_known = true;
    row.change = byte_change::between(owner.bytes, byte_total());
    all.push_back(std::move(row));
    then_bytes.push_back(owner.bytes);
  }
  if (all.size() <= named) return all;
  owner_row others;
  others.others = all.size() - named;
  others.change_known = true;
  byte_total earlier;
  for (size_t at = named; at < all.size(); ++at) {
    const owner_row& row = all[at];
    others.bytes += row.bytes;
    others.files += row.files;
    earlier += then_bytes[at];
  }
  others.change = byte_change::between(earlier, others.bytes);
  all.resize(named);
  all.push_back(std::move(others));
  return all;
}

void append_owner_table(std::string& page, detail_ledger& owners, const directory_node& node,
                        const earlier_owners* earlier, bool bars) {
  const byte_total whole = node.total_size();
  page +=
      "<div class=\"ownerstext\">\r\n<table class=\"ownerstable\">\r\n<tr>\r\n"
      " <td class=\"tdheadownername\">Eigent&uuml;mer</td>\r\n"
      " <td class=\"tdheadownerbytes\">Belegte Bytes</td>\r\n"
      " <td class=\"tdheadownerfiles\">Dateien</td>\r\n"
      " <td class=\"tdheadownershare\">Anteil</td>\r\n";
  if (earlier != nullptr) page += " <td class=\"tdheadownerchange\">&Auml;nderung</td>\r\n";
  page += "</tr>\r\n";
  const keyed_figures& figures = owners.details(&node).owners;
  const std::vector<owner_row> rows =
      earlier != nullptr ? owner_rows(figures, owners, *earlier) : owner_rows(figures, owners);
  std::string name;
  for (const owner_row& row : rows) {
    page += row.gone ? "<tr class=\"removed\">\r\n" : "<tr>\r\n";
    name.clear();
    if (row.others > 0) {
      name = "alle anderen (" + dotted(static_cast<int64_t>(row.others)) + ")";
      append_cell(page, "tdownerothers", name);
    } else {
      append_html_escaped(name, row.name);
      if (row.gone) name += " <span class=\"mark\">entfernt</span>";
      append_cell(page, "tdownername", name);
    }
    // An owner that is gone holds nothing here.
    append_cell(page, "tdownerbytes", row.gone ? std::string() : dotted(row.bytes));
    append_cell(page, "tdownerfiles", row.gone ? std::string() : dotted(row.files));
    name.clear();
    if (!row.gone) {
      if (bars) append_share_bar(name, row.bytes, whole);
      name += share_text(row.bytes, whole);
    }
    append_cell(page, "tdownershare", name);
    if (earlier != nullptr) append_cell(page, "tdownerchange", row.change_known ? dotted_change(row.change) : "");
    page += "</tr>\r\n";
  }
  page += "</table>\r\n</div>\r\n";
}

std::string_view owner_table_rules() { return kRules; }

std::string_view owner_change_rules() { return kChangeRules; }

}  // namespace quern
