#pragma once

#include <functional>
#include <string_view>

#include "base/diagnostics.h"
#include "platform/file_system.h"
#include "tree/directory_node.h"
#include "tree/directory_reader.h"
#include "tree/subtree_details.h"

namespace quern {

// How many directories the scan keeps open at once, whatever the depth.
// Deeper levels are reached again from the nearest one still open.
inline constexpr int kDefaultDescriptorBudget = 32;

struct scan_options {
  // Threads that read directories ahead of the walk; 1 reads each directory
  // on the walk's own thread when the walk enters it.
  int threads = 1;
  int descriptor_budget = kDefaultDescriptorBudget;
  // Subdirectories on another file system than the root are shown, with
  // nothing counted in them, but not entered.
  bool one_file_system = false;
  // A regular file with several names counts at the first of them only.
  bool hard_links_once = false;
  // What finished directories keep of their subtrees.
  retention_rule retention = {};
  // Bytes count the space taken on the disk instead of the length.
  bool allocated = false;
  // What is counted beyond the statistics, as the ledger's options say, and
  // where the details of each directory that gets pages go, once its
  // subtree is counted; without a ledger, nothing is.
  detail_ledger* ledger = nullptr;
  // Called on the walk's thread for each directory as soon as everything
  // below it is counted, after it has given back what it does not keep.
  // Where details are counted, it has the directory's details over its
  // subtree, which are gone once it returns unless the directory keeps
  // them for its pages.
  counted_function counted = nullptr;
  // Entries of one directory that the scan counts, traces and enters as if
  // they were not there, such as files that appear while it goes on.
  passed_over_entries passed_over = {};
};

// Builds the whole tree below the root, depth first: every entry is
// classified without following symbolic links and counted in its directory
// and in all directories above it; each subdirectory gets a node and is
// scanned completely before the next entry. Failures are reported and
// counted, and the scan goes on. Whatever the number of threads, nodes,
// counts and diagnostics come out in the same order.
void jumper(directory_tree& tree, directory_node* root, const std::string& root_path, file_system& files,
            diagnostics& diag, scan_options options = {});

// The most descriptors a scan with these options holds at once.
int scan_descriptors(const scan_options& options);

}  // namespace quern
