#pragma once

#include <cstddef>

namespace quern {

// Makes the process safe against what it inherited, before anything is
// opened: a reader of standard error that goes away must cost diagnostics
// only, never the report, and a standard descriptor that was closed is taken
// by the null device, so that no file of the report can get its number and
// receive diagnostics.
void prepare_process();

// How many descriptors the process may hold at once; the largest size_t
// where the platform sets no such limit.
size_t descriptor_limit();

}  // namespace quern
