#include "base/diagnostics.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "base/output_descriptor.h"
#include "base/text.h"
#include "base/unfinished_files.h"

namespace quern {

namespace {

// Traces are gathered up to this size or this age, so that a deep trace
// costs few system calls and a reader of a live trace does not wait long.
constexpr size_t kFlushThreshold = 64 * 1024;
constexpr auto kFlushAge = std::chrono::milliseconds(100);

// Only the thread that says things may flush what it gathered: allocation
// can fail on any thread, while that one goes on appending.
std::atomic<diagnostics*> g_active_for_exit = nullptr;
std::thread::id g_saying_thread;

}  // namespace

diagnostics::diagnostics(verbosity level, int descriptor)
    : level_(level), descriptor_(descriptor), last_flush_(std::chrono::steady_clock::now()) {}

diagnostics::~diagnostics() {
  flush();
  diagnostics* self = this;
  g_active_for_exit.compare_exchange_strong(self, nullptr);
}

void diagnostics::write(std::string_view text) {
  buffer_.append(text);
  written();
}

void diagnostics::written() {
  if (descriptor_ < 0) return;
  if (!shows(verbosity::entries) || buffer_.size() >= kFlushThreshold ||
      std::chrono::steady_clock::now() - last_flush_ >= kFlushAge)
    flush();
}

void diagnostics::writef(const char* format, ...) {
  va_list args;
  va_start(args, format);
  append_vformat(buffer_, format, args);
  va_end(args);
  written();
}

void diagnostics::report_failure(std::string_view message, status cause) {
  ++failures_;
  buffer_.append(message);
  buffer_.append(": ");
  buffer_.append(cause.description());
  buffer_.push_back('\n');
  // A failure is said where it happens, whatever the level.
  flush();
}

void diagnostics::absorb(std::string_view text, int64_t failures) {
  failures_ += failures;
  buffer_.append(text);
  if (failures > 0) {
    flush();
  } else {
    written();
  }
}

void diagnostics::report_failure_line(std::string_view line) {
  ++failures_;
  buffer_.append(line);
  flush();
}

void diagnostics::flush() {
  if (descriptor_ < 0 || buffer_.empty()) return;
  progress_.erase();
  write_fully(descriptor_, buffer_);
  buffer_.clear();
  last_flush_ = std::chrono::steady_clock::now();
}

void set_diagnostics_for_exit(diagnostics* active) {
  g_saying_thread = std::this_thread::get_id();
  g_active_for_exit.store(active, std::memory_order_release);
}

void exit_out_of_memory(const char* operation, int line) {
  remove_unfinished_files();
  diagnostics* const active = g_active_for_exit.load(std::memory_order_acquire);
  if (active != nullptr && std::this_thread::get_id() == g_saying_thread) active->flush();
  erase_progress_line_now();
  char text[160];
  const int length = std::snprintf(text, sizeof text, "%s: Quern %d Malloc Error...\r\n", operation, line);
  if (length > 0)
    write_fully(kStandardError, std::string_view(text, std::min(static_cast<size_t>(length), sizeof text - 1)));
  std::_Exit(2);
}

}  // namespace quern
