#include "platform/terminal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "base/progress.h"
#include "support/process.h"

namespace quern {
namespace {

struct ending {
  std::string said;
  int exit_status = -1;
  int signal = 0;
};

// A child shows the progress line on a pipe, has the signal handlers
// installed, and then receives the signal.
ending interrupted_child(int signal_number, bool ignored_from_the_start) {
  int ends[2];
  EXPECT_EQ(::pipe(ends), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ends[0]);
    if (ignored_from_the_start) ::signal(signal_number, SIG_IGN);
    progress_line line;
    line.show_on(ends[1], nullptr);
    line.directory_scanned(2, 10);
    erase_progress_line_on_signals();
    ::raise(signal_number);
    ::_exit(3);  // without running the destructor, which would erase
  }
  ::close(ends[1]);
  ending result;
  result.said = quern_test::read_until_closed(ends[0]);
  ::close(ends[0]);
  int wait_status = 0;
  ::waitpid(child, &wait_status, 0);
  if (WIFEXITED(wait_status)) result.exit_status = WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) result.signal = WTERMSIG(wait_status);
  return result;
}

TEST(Terminal, InterruptErasesTheLineAndEndsAsTheSignalWouldUnlessIgnored) {
  const std::string line = "\rScan: Verzeichnisse 1, Eintraege 2, Bytes 10";
  for (const int signal_number : {SIGINT, SIGTERM}) {
    const ending interrupted = interrupted_child(signal_number, false);
    EXPECT_EQ(interrupted.signal, signal_number);
    EXPECT_EQ(interrupted.said, line + "\r" + std::string(line.size() - 1, ' ') + "\r");

    // A run started in the background of a shell ignores interrupts, and
    // must go on doing so.
    const ending ignored = interrupted_child(signal_number, true);
    EXPECT_EQ(ignored.exit_status, 3);
    EXPECT_EQ(ignored.said, line);
  }
}

}  // namespace
}  // namespace quern
