#include "base/diagnostics.h"

#include <fcntl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/files.h"

namespace quern {
namespace {

using quern_test::temporary_file;

// Progress and failures must reach the reader while the run goes on, not
// when it ends: a run that is interrupted keeps what it said.
TEST(Diagnostics, ProgressAndFailuresAreWrittenAtOnce) {
  const temporary_file progress_file;
  diagnostics progress(verbosity::steps, progress_file.descriptor());
  progress.write("* scanning root directory\r\n");
  EXPECT_EQ(progress_file.text(), "* scanning root directory\r\n");

  const temporary_file trace_file;
  diagnostics trace(verbosity::operations, trace_file.descriptor());
  trace.report_failure("Konnte Verzeichnis nicht oeffnen", status::error(EACCES));
  EXPECT_EQ(trace_file.text(), "Konnte Verzeichnis nicht oeffnen: Permission denied\n");
  EXPECT_EQ(trace.failures(), 1);
}

// Memory can run out on any thread while the one that says things goes on
// appending: the run ends with its one line and status 2, and the failing
// thread leaves alone what the other is gathering (ThreadSanitizer, which
// the tests have stop at a race, would end it otherwise).
TEST(DiagnosticsDeathTest, MemoryExhaustedOnAnotherThreadEndsTheRunWithTheOneLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto exhausted_elsewhere = [] {
    diagnostics said(verbosity::comparisons, ::open("/dev/null", O_WRONLY));
    set_diagnostics_for_exit(&said);
    std::thread worker([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      exit_out_of_memory("operator new", 7);
    });
    for (;;) said.write("**** sorting by size\r\n");
  };
  EXPECT_EXIT(exhausted_elsewhere(), testing::ExitedWithCode(2), "operator new: Quern 7 Malloc Error");
}

}  // namespace
}  // namespace quern
