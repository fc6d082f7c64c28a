#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// Programs run as child processes, on POSIX systems.
namespace quern_test {

// Where the child's standard error goes.
enum class error_stream { file, pipe, terminal };

struct run_options {
  std::vector<std::string> arguments;  // without the program name
  int descriptor_limit = -1;           // RLIMIT_NOFILE for the child, -1 to keep
  bool unprivileged = false;           // run as user nobody when started as root
  error_stream error_to = error_stream::file;
  // For a terminal: its width, TERM for the child (kept when null), and
  // whether its output starts suspended, as after Ctrl-S.
  unsigned short terminal_columns = 80;
  const char* term = nullptr;
  bool terminal_output_stopped = false;
  // Called with the child and, for a terminal, its side of the terminal
  // while the child runs, before anything it says is read.
  std::function<void(pid_t child, int terminal)> while_running = nullptr;
  // A file to write standard output to instead of capturing it.
  const char* standard_output_path = nullptr;
  int timeout_seconds = 0;                   // the child is killed by SIGALRM after this; 0: no limit
  std::function<void()> in_child = nullptr;  // runs in the child just before it becomes the program
  std::string standard_input = {};           // a file to read as standard input; empty: inherited
  std::string working_directory = {};        // empty: the caller's
  std::string program_name = {};             // its argv[0]; empty: the program's path
};

struct run_result {
  int exit_status = -1;   // -1 when the process did not exit normally
  int ending_signal = 0;  // the signal that ended it, if one did
  std::string standard_output;
  std::string standard_error;  // bytes exactly as written, also from a terminal
};

// Runs the program with the options' arguments and waits for its end.
run_result run_program(const std::string& program, const run_options& options);

// A pseudo-terminal that passes bytes through unchanged, with the given
// width. Returns the controlling side; the terminal side is put in *terminal.
int open_terminal(unsigned short columns, int* terminal);

// Everything readable from the descriptor until its writers are gone; a
// terminal reports that with EIO.
std::string read_until_closed(int descriptor);

// Runs a tool found on the PATH with its output thrown away; its exit
// status, 127 when it cannot be started.
int run_tool(const std::vector<std::string>& arguments);

// In CI every tool that a test needs must be there; elsewhere a test whose
// tool is missing is skipped.
bool in_ci();

}  // namespace quern_test
