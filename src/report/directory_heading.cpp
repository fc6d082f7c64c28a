#include "report/directory_heading.h"

#include "report/dir_stats.h"
#include "report/owner_table.h"

namespace quern {

earlier_entry append_directory_heading(std::string& page, const report_context& context, const directory_node& node,
                                       bool entry_page) {
  if (context.earlier == nullptr) {
    output_dir_stats(page, node, !entry_page);
    if (context.owners != nullptr) append_owner_table(page, *context.owners, node);
    return {};
  }
  const old_summary& old = *context.earlier;
  const earlier_entry then = find_earlier(old, node);
  const totals_change change = change_since(old, then, node);
  output_dir_stats(page, node, !entry_page, &change);
  if (entry_page) {
    page += "<p>&Auml;nderungen seit dem Bericht vom ";
    page += old.header().begun;
    page += ".</p>\r\n";
  }
  if (context.owners != nullptr) {
    const earlier_owners before = owners_before(old, then, node);
    append_owner_table(page, *context.owners, node, &before);
  }
  return then;
}

}  // namespace quern
