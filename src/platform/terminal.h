#pragma once

namespace quern {

// Whether a status line may be drawn on the descriptor: it is a terminal,
// and TERM does not call that terminal dumb.
bool can_show_status_line(int descriptor);

// The width in columns of the terminal on the descriptor, 0 when unknown.
int terminal_columns(int descriptor);

}  // namespace quern
