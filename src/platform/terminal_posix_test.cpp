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

// A run started in the background of a shell ignores interrupts, and must go
// on doing so: a child that was started ignoring the signal shows the
// progress line on a pipe, has the handlers installed, and then receives the
// signal. That the handlers erase the line and end the run as the signal
// would is tested on the program itself.
TEST(Terminal, SignalsIgnoredFromTheStartStayIgnored) {
  for (const int signal_number : {SIGINT, SIGTERM}) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(ends[0]);
      ::signal(signal_number, SIG_IGN);
      progress_line line;
      line.show_on(ends[1], nullptr);
      line.directory_scanned(2, byte_total(10));
      erase_progress_line_on_signals();
      ::raise(signal_number);
      ::_exit(3);  // without running the destructor, which would erase
    }
    ::close(ends[1]);
    EXPECT_EQ(quern_test::read_until_closed(ends[0]), "\rScan: Verzeichnisse 1, Eintraege 2, Bytes 10");
    ::close(ends[0]);
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);
    EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 3) << signal_number;
  }
}

}  // namespace
}  // namespace quern
