#include "base/diagnostics.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quern {
namespace {

std::string written_so_far(std::FILE* file) {
  std::rewind(file);
  std::string text(4096, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file));
  return text;
}

// Progress and failures must reach the reader while the run goes on, not
// when it ends: a run that is interrupted keeps what it said.
TEST(Diagnostics, ProgressAndFailuresAreWrittenAtOnce) {
  std::FILE* progress_file = std::tmpfile();
  diagnostics progress(verbosity::steps, ::fileno(progress_file));
  progress.write("* scanning root directory\r\n");
  EXPECT_EQ(written_so_far(progress_file), "* scanning root directory\r\n");

  std::FILE* trace_file = std::tmpfile();
  diagnostics trace(verbosity::operations, ::fileno(trace_file));
  trace.report_failure("Konnte Verzeichnis nicht oeffnen", status::error(EACCES));
  EXPECT_EQ(written_so_far(trace_file), "Konnte Verzeichnis nicht oeffnen: Permission denied\n");
  EXPECT_EQ(trace.failures(), 1);
  std::fclose(progress_file);
  std::fclose(trace_file);
}

}  // namespace
}  // namespace quern
