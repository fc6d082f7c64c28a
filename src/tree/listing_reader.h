#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "base/diagnostics.h"
#include "platform/file_system.h"
#include "tree/directory_node.h"
#include "tree/directory_reader.h"
#include "tree/listing_source.h"
#include "tree/subtree_details.h"

namespace quern {

// Builds the tree below the root from a listing instead of a scan, counting
// every entry as the scanner counts it; only directories are kept. Each
// directory's children end up in byte order of their names and the nodes
// are numbered in pre-order of that tree, so a tree gives the same report
// whatever the order of its listing. A directory that only paths below it
// name is created all the same. Bad records are reported with their number
// and skipped; a listing that cannot be opened or read to its end is
// reported as a directory would be, and what was read still counts. Once
// everything is counted, `counted` is called for every directory, each
// after everything below it and subdirectories in name order, as a scan of
// the same tree completes them; then the directories the retention rule
// does not keep lose their children.
void read_listing(directory_tree& tree, directory_node* root, const std::string& root_path,
                  const listing_source& source, file_system& files, diagnostics& diag,
                  const retention_rule& retention = {}, const counted_function& counted = nullptr,
                  listing_buffer_sizes sizes = {});

// What is counted of a listing's entries beyond the statistics.
struct listing_counting {
  // Bytes are the blocks the records carry, not their sizes.
  bool allocated = false;
  // What its options ask for goes to the ledger, for the directories that
  // get pages; null: no details are counted.
  detail_ledger* ledger = nullptr;
};

// The same from a listing opened before, read as its source declares.
// Where its records carry owners, they are skipped unless owners are
// counted; counting owners, records are taken to carry them where the
// first one could not tell, and one without is a bad record. With a
// ledger, `counted` has each directory's details.
void read_listing(directory_tree& tree, directory_node* root, const std::string& root_path, opened_listing& listing,
                  const listing_source& source, diagnostics& diag, const retention_rule& retention,
                  const listing_counting& counting, const counted_function& counted = nullptr,
                  listing_buffer_sizes sizes = {});

}  // namespace quern
