#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/progress.h"
#include "base/status.h"

namespace quern {

// Everything Quern says goes to standard error through one diagnostics
// object: trace lines chosen by the verbosity level and failure reports in
// perror's form. Failures are counted, so that the run can exit with a status
// that tells whether the report has gaps.
class diagnostics {
 public:
  // Writes to the descriptor; -1 only collects, for tests.
  diagnostics(int debug, int descriptor);
  ~diagnostics();
  diagnostics(const diagnostics&) = delete;
  diagnostics& operator=(const diagnostics&) = delete;

  // A message listed under a level is written only when debug exceeds it.
  bool above(int level) const { return debug_ > level; }
  int level() const { return debug_; }

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
  // Below level 2 every message is written at once; the traces of higher
  // levels are gathered, but never held long, so a live trace keeps up.
  void written();

  int debug_;
  int descriptor_;
  int64_t failures_ = 0;
  std::string buffer_;
  std::chrono::steady_clock::time_point last_flush_;
  progress_line progress_;
};

// Ends the run after a failed allocation with the one line
// "<operation>: Quern <line> Malloc Error..." and exit status 2.
[[noreturn]] void exit_out_of_memory(const char* operation, int line);

// The diagnostics that exit_out_of_memory flushes before it ends the process.
void set_diagnostics_for_exit(diagnostics* active);

}  // namespace quern
