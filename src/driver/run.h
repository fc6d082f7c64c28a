#pragma once

#include "platform/file_system.h"

namespace quern {

// Exit statuses of a run.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitWithGaps = 1;  // finished, but something could not be read or written
inline constexpr int kExitFailure = 2;   // could not do its job at all

// A whole run: the command line, the output directory, the style sheet, the
// scan, the pages and the index page. The long help and the version go to
// the output descriptor, everything else that is said to the error
// descriptor. Returns the exit status.
int run(int argc, const char* const* argv, file_system& files, int output_descriptor, int error_descriptor);

}  // namespace quern
