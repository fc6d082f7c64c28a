#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <termios.h>

#include <fstream>
#include <regex>
#include <thread>

#include "quern_process.h"

namespace quern_test {
namespace {

// The rows a terminal shows after the bytes: a carriage return goes back to
// the start of the row, a line feed on to the next one, and every other byte
// overwrites the cell under the cursor. Blanks at the end of a row are not
// seen.
std::vector<std::string> screen(const std::string& bytes) {
  std::vector<std::string> rows(1);
  size_t column = 0;
  for (const char c : bytes) {
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      rows.emplace_back();
      column = 0;
    } else {
      std::string& row = rows.back();
      if (row.size() <= column) row.resize(column + 1, ' ');
      row[column++] = c;
    }
  }
  for (std::string& row : rows) row.erase(row.find_last_not_of(' ') + 1);
  return rows;
}

// The elapsed seconds differ from run to run.
std::string without_seconds(const std::string& text) {
  return std::regex_replace(text, std::regex("completed in [0-9]+ seconds"), "completed in N seconds");
}

// A tree whose scan says something in its middle: a directory that cannot
// be opened.
void make_tree_with_a_gap(const std::string& root) {
  make_directory(root);
  for (const std::string name : {"a", "b", "c", "a/deep", "b/deep", "locked"}) {
    make_directory(root + "/" + name);
    make_file(root + "/" + name + "/file", 1000);
  }
  check(::chmod((root + "/locked").c_str(), 0) == 0, "chmod");
}

TEST(ProgressEndToEnd, TerminalSeesTheLineButEndsShowingExactlyWhatAFileGets) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_tree_with_a_gap(root);
  auto run = [&](const std::string& out, error_stream to, const char* term, bool progress = true) {
    std::vector<std::string> arguments = {"-v", "-o", scratch / out, "-r", root};
    if (!progress) arguments.insert(arguments.begin(), "--no-progress");
    // Unprivileged, since root opens every directory.
    return run_quern(
        {.arguments = arguments, .unprivileged = true, .error_to = to, .terminal_columns = 40, .term = term});
  };
  const run_result file = run("file", error_stream::file, nullptr);
  ASSERT_EQ(file.exit_status, 1);
  const std::string said = without_seconds(file.standard_error);
  ASSERT_NE(said.find("Konnte Verzeichnis nicht oeffnen"), std::string::npos);

  const run_result terminal = run("terminal", error_stream::terminal, "xterm");
  EXPECT_EQ(terminal.exit_status, 1);
  const std::string shown = without_seconds(terminal.standard_error);
  EXPECT_NE(shown.find("\rScan: Verzeichnisse 1, Eintraege"), std::string::npos) << shown;
  EXPECT_NE(shown, said);
  EXPECT_EQ(screen(shown), screen(said)) << shown;
  // Cut to 39 of the 40 columns: a line that wrapped could not be erased.
  for (size_t at = shown.find("\rScan: "); at != std::string::npos; at = shown.find("\rScan: ", at + 1)) {
    EXPECT_LE(shown.find('\r', at + 1) - at - 1, 39u) << shown.substr(at);
  }
  EXPECT_EQ(read_file(scratch / "terminal/index.html"), read_file(scratch / "file/index.html"));

  // Everything else gets exactly the bytes that a file gets.
  EXPECT_EQ(without_seconds(run("pipe", error_stream::pipe, "xterm").standard_error), said);
  EXPECT_EQ(without_seconds(run("dumb", error_stream::terminal, "dumb").standard_error), said);
  EXPECT_EQ(without_seconds(run("off", error_stream::terminal, "xterm", false).standard_error), said);
}

#ifdef __linux__
// Whether the process waits in a write to its standard error.
bool writing_to_standard_error(pid_t process) {
  std::ifstream call("/proc/" + std::to_string(process) + "/syscall");
  std::string number, descriptor;
  call >> number >> descriptor;
  return number == std::to_string(SYS_write) && descriptor == "0x2";
}

// The terminal's output is suspended, so the run waits in its first write,
// the line's first drawing, until the signal comes; output then resumes.
TEST(ProgressEndToEnd, InterruptedRunErasesTheLineAndEndsAsTheSignalWould) {
  temporary_directory scratch;
  const std::string root = scratch / "root";
  make_directory(root);
  make_file(root + "/one", 4);
  make_file(root + "/two", 6);
  const std::string line = "Scan: Verzeichnisse 1, Eintraege 2, Bytes 10";
  for (const int signal_number : {SIGINT, SIGTERM}) {
    const std::string out = scratch / ("out" + std::to_string(signal_number));
    bool waited = false;
    const run_result result = run_quern({.arguments = {"-o", out, "-r", root},
                                         .error_to = error_stream::terminal,
                                         .term = "xterm",
                                         .terminal_output_stopped = true,
                                         .while_running = [&](pid_t child, int terminal) {
                                           for (int tries = 0; tries < 20000 && !waited; ++tries) {
                                             waited = writing_to_standard_error(child);
                                             if (!waited) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                           }
                                           ::kill(child, signal_number);
                                           ::tcflow(terminal, TCOON);
                                         }});
    ASSERT_TRUE(waited) << "the run never wrote to its terminal";
    EXPECT_EQ(result.ending_signal, signal_number);
    EXPECT_TRUE(result.standard_error.ends_with("\r" + std::string(line.size(), ' ') + "\r")) << result.standard_error;
    for (const std::string& row : screen(result.standard_error)) EXPECT_EQ(row, "");
    EXPECT_FALSE(exists(out + "/index.html"));
  }
}
#endif

}  // namespace
}  // namespace quern_test
