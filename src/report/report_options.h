#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/byte_total.h"

namespace quern {

// What the report needs to know of a run's options; the driver fills it
// from the command line.
struct report_options {
  // Whether a column is shown in the overview tables.
  int display_row_size = 1;
  int display_row_subdirs = 1;
  int display_row_files = 1;
  int display_row_symlinks = 1;
  int display_row_devices = 1;
  // Whether pages sorted by that column are offered.
  int sort_row_size = 1;
  int sort_row_subdirs = 1;
  int sort_row_files = 1;
  int sort_row_symlinks = 1;
  int sort_row_devices = 1;
  std::string outputdirectory;
  // Which directories get pages, beyond having subdirectories: those at
  // most this many levels below the root, and those holding at least this
  // many bytes in all. The index page names the caps given.
  std::optional<uint64_t> page_depth;
  std::optional<byte_total> page_min_size;
  // Every page tells the bytes and files per owner.
  bool owners = false;
  // Every page tells the bytes and files by the year of their last change.
  bool ages = false;
  // Every page lists this many of the largest files below it; 0: none.
  uint32_t largest = 0;
  // Bytes are the space taken on the disk, not the length.
  bool allocated = false;
  // Whether the times of files are known: a listing may not carry them.
  bool file_times = true;
  // Share bars, a treemap per directory, and marks where figures are
  // incomplete.
  bool pictures = false;
};

}  // namespace quern
