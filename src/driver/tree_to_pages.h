#pragma once

#include <memory>
#include <optional>

#include "driver/run_summaries.h"
#include "driver/settings.h"
#include "report/report_context.h"
#include "tree/directory_node.h"
#include "tree/listing_source.h"

namespace quern {

opened_listing open_listing_of(const settings& config, file_system& files);

// Counts the tree below root, by scanning it or from the listing opened,
// writes the full summary as directories are completed and closes it, and
// writes the pages of every directory that gets them.
void count_and_write_pages(const settings& config, const report_context& context, file_system& files,
                           directory_tree& tree, directory_node* root, opened_listing* listing, full_summary& full);

}  // namespace quern
