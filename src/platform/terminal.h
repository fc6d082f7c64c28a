#pragma once

namespace quern {

// Whether a status line may be drawn on the descriptor: it is a terminal,
// and TERM does not call that terminal dumb.
bool can_show_status_line(int descriptor);

// The width in columns of the terminal on the descriptor, 0 when unknown.
int terminal_columns(int descriptor);

// From now on an interrupt or a termination request first erases the
// progress line and then ends the process as the signal would have.
// Signals that the process was started to ignore stay ignored.
void erase_progress_line_on_signals();

}  // namespace quern
