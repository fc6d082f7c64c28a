#pragma once

#include <cstdint>
#include <vector>

#include "base/status.h"
#include "platform/file_system.h"

namespace quern {

// An entry that still has something to do once the walk reaches it: a
// subdirectory to enter, a failure or a trace line to report.
struct pending_entry {
  entry_status::kind type;
  int error_number;  // of its status call; 0 when it succeeded
};

// What one directory holds. Entries that only count are folded into the
// sums as they are read, so a directory of a million files costs no more
// than its subdirectories; the rest waits in listing order.
struct directory_contents {
  int64_t files = 0;
  int64_t symlinks = 0;
  int64_t devices = 0;
  int64_t size = 0;
  int64_t entries = 0;  // listed, "." and ".." aside
  name_list names;  // of the pending entries
  std::vector<pending_entry> pending;
  size_t subdirectories = 0;  // pending entries that are directories to enter
  status listing_failure;

  void clear();
  // Bytes this holds, for the bound on what is read ahead.
  size_t footprint() const;
};

// Which entries the traces of the verbosity level will name.
struct traced_entries {
  bool every_entry = false;
  bool links_and_others = false;
};

bool is_dot_or_dot_dot(const char* name);

// Lists the open directory batch by batch and takes the status of every
// entry as it comes.
void read_directory(open_directory& directory, traced_entries traced, directory_contents& contents);

}  // namespace quern
