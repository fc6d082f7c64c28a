#include "report/largest_table.h"

#include <cstring>

#include "base/calendar.h"
#include "base/text.h"
#include "report/page_frame.h"
#include "report/page_names.h"

namespace quern {

namespace {

// The length of the directory's path below the root, as the largest files'
// paths begin with it: its names joined by "/".
size_t path_length_below_root(const directory_node& node) {
  size_t length = 0;
  for (const directory_node* up = &node; up->parent != nullptr; up = up->parent) length += std::strlen(up->name) + 1;
  return length;
}

}  // namespace

void append_largest_table(std::string& page, const report_context& context, const directory_node& node,
                          std::string_view key, std::vector<size_t>& link_keys) {
  detail_ledger& ledger = *context.ledger;
  const bool times = context.options.file_times;
  const bool owners = context.options.owners;
  page +=
      "<div class=\"detailstext\">\r\n<table class=\"detailstable\">\r\n<tr>\r\n"
      " <td class=\"tdheaddetail\">Gr&ouml;&szlig;te Dateien</td>\r\n"
      " <td class=\"tdheaddetail\">Belegte Bytes</td>\r\n";
  if (times) page += " <td class=\"tdheaddetail\">Ge&auml;ndert</td>\r\n";
  if (owners) page += " <td class=\"tdheaddetail\">Eigent&uuml;mer</td>\r\n";
  page += "</tr>\r\n";
  const size_t prefix = path_length_below_root(node);
  std::string cell;
  for (const largest_file_ref& file : ledger.details(&node).largest.files()) {
    page += "<tr>\r\n";
    const std::string_view path = file->path().substr(prefix);
    const size_t slash = path.rfind('/');
    page += " <td class=\"tddetailname\">";
    if (slash != std::string_view::npos) {
      const std::string_view directory = path.substr(0, slash + 1);
      if (file->directory_has_pages()) {
        page += "<a href=\"";
        link_keys.push_back(append_page_name(page, file->directory_id(), key));
        page += "\">";
        append_html_escaped(page, directory);
        page += "</a>";
      } else {
        append_html_escaped(page, directory);
      }
    }
    append_html_escaped(page, path.substr(slash + 1));
    page += "</td>\r\n";
    append_cell(page, "tddetailnumber", dotted(byte_total(file->bytes())));
    if (times) {
      cell.clear();
      append_date(cell, file->modified());
      append_cell(page, "tddetailnumber", cell);
    }
    if (owners) {
      cell.clear();
      append_html_escaped(cell, ledger.name(file->owner()));
      append_cell(page, "tddetailname", cell);
    }
    page += "</tr>\r\n";
  }
  page += "</table>\r\n</div>\r\n";
}

}  // namespace quern
