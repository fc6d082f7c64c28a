#include "report/owner_table.h"

#include <algorithm>

#include "base/text.h"

namespace quern {

namespace {

__extension__ typedef unsigned __int128 wide;

wide widen(const byte_total& value) { return static_cast<wide>(value.high()) << 64 | value.low(); }

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
// clang-format on

void append_cell(std::string& page, const char* cell_class, std::string_view text) {
  page += " <td class=\"";
  page += cell_class;
  page += "\">";
  page += text;
  page += "</td>\r\n";
}

}  // namespace

std::vector<owner_row> owner_rows(const owner_figures& figures, owner_ledger& owners, size_t named) {
  struct ranked {
    owner_row row;
    owner_id owner;
  };
  std::vector<ranked> all;
  all.reserve(figures.shares().size());
  for (const owner_share& share : figures.shares())
    all.push_back({{owners.name(share.owner), share.bytes, share.files}, share.owner});
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

std::string share_text(const byte_total& part, const byte_total& whole) {
  if (whole == byte_total()) return "&ndash;";
  const wide all = widen(whole);
  wide rest = widen(part);
  // Tenths of a percent, one decimal digit at a time, since the part times
  // a thousand may not fit: each digit is the remainder times ten over the
  // whole, found by adding up the remainder ten times, which may wrap
  // beyond 128 bits only where the true sum exceeds the whole.
  uint64_t tenths = static_cast<uint64_t>(rest / all);
  rest %= all;
  for (int digit = 0; digit < 3; ++digit) {
    uint64_t next = 0;
    wide sum = 0;
    for (int times = 0; times < 10; ++times) {
      const wide before = sum;
      sum += rest;
      if (sum < before || sum >= all) {
        sum -= all;
        ++next;
      }
    }
    tenths = tenths * 10 + next;
    rest = sum;
  }
  if (rest >= all - rest) ++tenths;  // half a tenth or more
  std::string text;
  append_decimal(text, static_cast<int64_t>(tenths / 10));
  text += ',';
  append_decimal(text, static_cast<int64_t>(tenths % 10));
  text += " %";
  return text;
}

void append_owner_table(std::string& page, owner_ledger& owners, const directory_node& node) {
  const byte_total whole = node.total_size();
  page +=
      "<div class=\"ownerstext\">\r\n<table class=\"ownerstable\">\r\n<tr>\r\n"
      " <td class=\"tdheadownername\">Eigent&uuml;mer</td>\r\n"
      " <td class=\"tdheadownerbytes\">Belegte Bytes</td>\r\n"
      " <td class=\"tdheadownerfiles\">Dateien</td>\r\n"
      " <td class=\"tdheadownershare\">Anteil</td>\r\n</tr>\r\n";
  std::string name;
  for (const owner_row& row : owner_rows(owners.figures(&node), owners)) {
    page += "<tr>\r\n";
    name.clear();
    if (row.others > 0) {
      name = "alle anderen (" + dotted(static_cast<int64_t>(row.others)) + ")";
      append_cell(page, "tdownerothers", name);
    } else {
      append_html_escaped(name, row.name);
      append_cell(page, "tdownername", name);
    }
    append_cell(page, "tdownerbytes", dotted(row.bytes));
    append_cell(page, "tdownerfiles", dotted(row.files));
    append_cell(page, "tdownershare", share_text(row.bytes, whole));
    page += "</tr>\r\n";
  }
  page += "</table>\r\n</div>\r\n";
}

std::string_view owner_table_rules() { return kRules; }

}  // namespace quern
