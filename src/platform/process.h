#pragma once

#include <cstddef>

namespace quern {

// Makes the process safe against what it inherited, before anything is
// opened: a reader of standard error that goes away must cost diagnostics
// only, never the report, and a standard descriptor that was closed is taken
// by the null device, so that no file of the report can get its number and
// receive diagnostics.
void prepare_process();

// From now on an interrupt, a termination request or a terminal that hangs
// up (on Windows the console's events) first removes the run's unfinished
// files and erases the progress line, and then ends the process as the
// signal would have: a shell sees 128 + its number. Signals the process was
// started to ignore stay ignored. Called before any thread is started.
void end_cleanly_on_signals();

// How many descriptors the process may hold at once; the largest size_t
// where the platform sets no such limit.
size_t descriptor_limit();

}  // namespace quern
