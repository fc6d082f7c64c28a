#include "report/directory_heading.h"

#include "report/age_table.h"
#include "report/dir_stats.h"
#include "report/largest_table.h"
#include "report/owner_table.h"
#include "report/page_names.h"
#include "report/treemap.h"

namespace quern {

earlier_entry append_directory_heading(std::string& page, const report_context& context, const directory_node& node,
                                       bool entry_page, std::vector<size_t>& link_keys) {
  const old_summary* old = context.earlier;
  const earlier_entry then = old != nullptr ? find_earlier(*old, node) : earlier_entry();
  if (old == nullptr) {
    output_dir_stats(page, node, !entry_page, nullptr, context.options.pictures);
  } else {
    const totals_change change = change_since(*old, then, node);
    output_dir_stats(page, node, !entry_page, &change, context.options.pictures);
    if (entry_page) {
      page += "<p>&Auml;nderungen seit dem Bericht vom ";
      page += old->header().begun;
      page += ".</p>\r\n";
    }
  }
  if (context.options.allocated)
    page += "<p>Bytes: belegter Platz auf dem Datentr&auml;ger, nicht die L&auml;nge der Dateien.</p>\r\n";
  const bool bars = context.options.pictures;
  if (bars) append_treemap_object(page, context, node);
  if (context.options.owners) {
    if (old == nullptr) {
      append_owner_table(page, *context.ledger, node, nullptr, bars);
    } else {
      const earlier_owners before = owners_before(*old, then, node);
      append_owner_table(page, *context.ledger, node, &before, bars);
    }
  }
  if (context.options.ages) {
    if (old == nullptr) {
      append_age_table(page, *context.ledger, node, nullptr, bars);
    } else {
      const earlier_ages before = ages_before(*old, then, node);
      append_age_table(page, *context.ledger, node, &before, bars);
    }
  }
  if (context.options.largest > 0) append_largest_table(page, context, node, kNamePageKey, link_keys);
  return then;
}

}  // namespace quern
