#pragma once

#include <optional>
#include <string>

#include "report/report_options.h"
#include "tree/listing_reader.h"

namespace quern {

// The run's settings. Only the command line writes them; everything else
// reads them through a const reference.
struct settings : report_options {
  // The verbosity level: the number of -v options.
  int debug = 0;
  std::string rootdirectory;
  // Where the tree is read from instead of being scanned.
  std::optional<listing_source> listing;
};

}  // namespace quern
