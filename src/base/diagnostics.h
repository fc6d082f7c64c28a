#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/progress.h"
#include "base/status.h"

namespace quern {

// What Quern says on standard error; each -v raises the level by one, and
// a level shows everything the levels below it show (more than four -v
// show what four show).
enum class verbosity : int {
  quiet,        // failures only
  steps,        // "*": the steps of the run and the directories passed by
  entries,      // "**": every directory scanned and every entry found but regular files
  operations,   // "***": every entry, and every operation on files and nodes
  comparisons,  // "****": every comparison of the sorts
};

// Everything Quern says goes to standard error through one diagnostics
// object: trace lines chosen by the verbosity level and failure reports in
// perror's form. Failures are counted, so that the run can exit with a status
// that tells whether the report has gaps.
class diagnostics {
 public:
  // Writes to the descriptor; -1 only collects, for tests.
  diagnostics(verbosity level, int descriptor);
  ~diagnostics();
  diagnostics(const diagnostics&) = delete;
  diagnostics& operator=(const diagnostics&) = delete;

  // Whether messages of the level are written.
  bool shows(verbosity level) const { return level_ >= level; }
  verbosity level() const { return level_; }

  void write(std::string_view text);
  void writef(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // "message: system description\n", as perror writes it; counts a failure.
  void report_failure(std::string_view message, status cause);
  // A failure said in a line of the caller's own wording; counted alike.
  void report_failure_line(std::string_view line);
  int64_t failures() const { return failures_; }

  // Says what was collected elsewhere, with the failures counted there, as
  // if it had been said here.
  void absorb(std::string_view text, int64_t failures);

  void flush();
  // Collected text not yet written to a descriptor (all of it for tests).
  const std::string& collected() const { return buffer_; }

  // The status line below the messages; erased before each of them.
  progress_line& progress() { return progress_; }

 private:
  // Up to the steps every message is written at once; the traces of higher
  // levels are gathered, but never held long, so a live trace keeps up.
  void written();

  verbosity level_;
  int descriptor_;
  int64_t failures_ = 0;
  std::string buffer_;
  std::chrono::steady_clock::time_point last_flush_;
  progress_line progress_;
};

// Ends the run after a failed allocation, on any thread: removes the
// unfinished files, says what the run gathered (when that is the thread that
// says things), then the one line "<operation>: Quern <line> Malloc
// Error..." and exits with status 2.
[[noreturn]] void exit_out_of_memory(const char* operation, int line);

// The diagnostics, and by that the thread, that exit_out_of_memory flushes
// before it ends the process.
void set_diagnostics_for_exit(diagnostics* active);

}  // namespace quern
