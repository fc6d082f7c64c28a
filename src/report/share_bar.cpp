#include "report/share_bar.h"

#include "base/text.h"

namespace quern {

namespace {

// One rule per line, as the style sheet has them.
// clang-format off
constexpr std::string_view kRules =
    ".sharebar { float:left; width:100px; height:9px; margin: 2px 8px 0px 0px; border: solid; border-width: 1px; border-color:#666699; background-color:#ffffff; }\r\n"
    ".sharefill { height:9px; background-color:#666699; }\r\n"
    ".tdheadlistshare { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdlistshare { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; white-space:nowrap; }\r\n"
    ".gapmark { font-family:Arial,Helvetica,sans-serif; font-size:11px; font-weight:bold; color:#ffffff; background-color:#b03030; padding: 0px 3px 0px 3px; }\r\n"
    ".treemap { margin: 10px 10px 10px 10px; }\r\n";
// clang-format on

void append_tenths(std::string& out, uint64_t tenths) {
  append_decimal(out, static_cast<int64_t>(tenths / 10));
  out += '.';
  append_decimal(out, static_cast<int64_t>(tenths % 10));
}

void append_bar(std::string& cell, uint64_t tenths) {
  cell += "<div class=\"sharebar\"><div class=\"sharefill\" style=\"width:";
  append_tenths(cell, tenths);
  cell += "%\"></div></div>";
}

}  // namespace

void append_share_bar(std::string& cell, const byte_total& part, const byte_total& whole) {
  if (whole == byte_total()) return;
  append_bar(cell, share_in_tenths_of_a_percent(part, whole));
}

std::string share_text(const byte_total& part, const byte_total& whole) {
  if (whole == byte_total()) return "&ndash;";
  const uint64_t tenths = share_in_tenths_of_a_percent(part, whole);
  std::string text;
  append_decimal(text, static_cast<int64_t>(tenths / 10));
  text += ',';
  append_decimal(text, static_cast<int64_t>(tenths % 10));
  text += " %";
  return text;
}

std::string overview_share_cell(const byte_total& part, const byte_total& whole) {
  if (whole == byte_total()) return "&ndash;";
  const uint64_t tenths = share_in_tenths_of_a_percent(part, whole);
  std::string cell;
  append_bar(cell, tenths);
  cell += tenths == 0 && part != byte_total() ? "&lt; 0,1 %" : share_text(part, whole);
  return cell;
}

std::string_view picture_rules() { return kRules; }

}  // namespace quern
