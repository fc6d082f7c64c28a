#pragma once

#include <memory>
#include <optional>

#include "driver/settings.h"
#include "report/report_context.h"
#include "report/summary_writer.h"
#include "tree/directory_node.h"
#include "tree/listing_owners.h"

namespace quern {

opened_listing open_listing_of(const settings& config, file_system& files);

// Counts the tree below root, by scanning it or from the listing (opened
// here unless it already is), writes the full summary as directories are
// completed and closes it, and writes the pages of every directory that
// gets them.
void count_and_write_pages(const settings& config, const report_context& context, directory_tree& tree,
                           directory_node* root, std::optional<opened_listing>& listing,
                           std::unique_ptr<summary_writer>& full);

}  // namespace quern
