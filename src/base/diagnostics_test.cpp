#include "base/diagnostics.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quern
