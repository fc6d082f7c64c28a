#pragma once

#include "base/diagnostics.h"
#include "driver/settings.h"
#include "platform/file_system.h"

namespace quern {

// What every part of the report reads: the settings, where to say things,
// and where to write.
struct report_context {
  const settings& config;
  diagnostics& diag;
  file_system& files;
};

}  // namespace quern
