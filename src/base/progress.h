#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "base/byte_total.h"

namespace quern {

// A status line on a terminal, below everything else that is said: while
// scanning, the directories and entries done and the bytes counted; while
// writing, the pages written. It is drawn at most ten times a second, kept
// narrower than the terminal so that it never wraps, and erased before any
// other text is written and when the run ends, so that the terminal then
// shows exactly what a run without it shows. Until it is shown, counting
// costs nothing.
class progress_line {
 public:
  using clock = std::chrono::steady_clock;
  // The terminal's width in columns, 0 when it is not known.
  using columns_function = int (*)(int descriptor);
  using clock_function = clock::time_point (*)();

  static constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

  progress_line() = default;
  ~progress_line();
  progress_line(const progress_line&) = delete;
  progress_line& operator=(const progress_line&) = delete;

  // Draws on the descriptor from the next count on. Only one line can be
  // shown in a process at a time.
  void show_on(int descriptor, columns_function columns, clock_function now = clock::now);
  bool shown() const { return descriptor_ >= 0; }

  void directory_scanned(int64_t entries, const byte_total& bytes);
  // Pages are counted from now on; total is 0 when it is not known.
  void begin_pages(int64_t total);
  void pages_written(int64_t pages);

  // Takes the line off the terminal; a later count draws it again once it
  // is due.
  void erase();

 private:
  void counted();
  void draw();

  int descriptor_ = -1;
  columns_function columns_ = nullptr;
  clock_function now_ = nullptr;
  bool drawn_before_ = false;
  clock::time_point last_draw_{};

  int64_t directories_ = 0;
  int64_t entries_ = 0;
  byte_total bytes_;
  bool writing_pages_ = false;
  int64_t pages_ = 0;
  int64_t pages_total_ = 0;
  std::string text_;
};

// Erases the line that is shown, if any, with async-signal-safe calls only:
// for a signal handler and for an abrupt end of the process.
void erase_progress_line_now() noexcept;

}  // namespace quern
