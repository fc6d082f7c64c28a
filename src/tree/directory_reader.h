#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "base/byte_total.h"
#include "base/status.h"
#include "platform/file_system.h"
#include "tree/directory_node.h"
#include "tree/subtree_details.h"

namespace quern {

// An entry that still has something to do once the walk reaches it: a
// subdirectory to enter, a failure or a trace line to report.
struct pending_entry {
  entry_status::kind type;
  // A subdirectory on another file system, shown but not entered.
  bool elsewhere = false;
  // A regular file with other names: whether it counts is decided in the
  // walk's order, from its entry in linked_files.
  bool linked = false;
  int error_number = 0;  // of its status call
};

// The identity and size of a file with several names.
struct linked_file {
  uint64_t device;
  uint64_t inode;
  int64_t size;  // the bytes it counts for
  owner_id owner;
  int64_t modified;
};

// What one directory holds. Entries that only count are folded into the
// sums as they are read, so a directory of a million files costs no more
// than its subdirectories; the rest waits in listing order.
struct directory_contents {
  int64_t files = 0;
  int64_t symlinks = 0;
  int64_t devices = 0;
  byte_total size;
  int64_t entries = 0;  // listed, "." and ".." aside
  name_list names;      // of the pending entries
  std::vector<pending_entry> pending;
  std::vector<linked_file> linked_files;  // of the linked pending entries, in order
  size_t subdirectories = 0;              // pending entries that are directories to enter
  status listing_failure;
  // Of the entries counted here, where asked for; the largest files wait
  // by name.
  subtree_details details;
  largest_candidates largest;

  void clear();
  // Bytes this holds, for the bound on what is read ahead.
  size_t footprint() const;
};

// Called as each directory is counted, with everything below it, and with
// its details over its subtree where they are counted.
using counted_function = std::function<void(directory_node* node, const subtree_details* details)>;

// Entries the scan passes over as if they were not there: in the one
// directory with this identity, wherever the scan meets it, the names the
// predicate accepts (without a predicate, none); and wherever it meets it,
// under any name, the one file with the identity given for it.
struct passed_over_entries {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool (*accepts)(std::string_view name) = nullptr;
  bool file = false;
  uint64_t file_device = 0;
  uint64_t file_inode = 0;
};

// How directories are read: which entries the traces of the verbosity level
// will name, and what the scan leaves to the walk.
struct read_options {
  bool trace_every_entry = false;
  bool trace_links_and_others = false;
  // Subdirectories on another file system than `file_system` are marked
  // elsewhere instead of being entered.
  bool one_file_system = false;
  uint64_t file_system = 0;
  // Regular files with several names are left to the walk to count once.
  bool hard_links_once = false;
  // Bytes count the space taken on the disk instead of the length.
  bool allocated = false;
  detail_options details;
  passed_over_entries passed_over;
};

// Whether the pending entry is a subdirectory the walk enters.
bool to_enter(const directory_contents& contents, size_t index);

// Lists the open directory batch by batch and takes the status of every
// entry as it comes.
void read_directory(open_directory& directory, const read_options& options, directory_contents& contents);

// With one_file_system, the root's file system is the one the scan stays on.
void note_root_file_system(open_directory& root, read_options& options);

}  // namespace quern
