#include "support/process.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "support/files.h"

namespace quern_test {

namespace {

std::vector<char*> argument_vector(std::vector<std::string>& text) {
  std::vector<char*> argv;
  for (std::string& argument : text) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

run_result run_program(const std::string& program, const run_options& options) {
  // Files rather than pipes where possible: nothing to drain while the
  // child runs.
  const temporary_file out;
  const temporary_file err;
  int output = out.descriptor();
  if (options.standard_output_path != nullptr) {
    output = ::open(options.standard_output_path, O_WRONLY | O_CLOEXEC);
    check(output >= 0, std::string("open ") + options.standard_output_path);
  }
  int error_write = err.descriptor();  // the child's standard error
  int error_read = -1;                 // where the parent reads it, unless a file
  if (options.error_to == error_stream::pipe) {
    int ends[2];
    check(::pipe2(ends, O_CLOEXEC) == 0, "pipe");
    error_read = ends[0];
    error_write = ends[1];
  } else if (options.error_to == error_stream::terminal) {
    error_read = open_terminal(options.terminal_columns, &error_write);
    if (options.terminal_output_stopped) check(::tcflow(error_write, TCOOFF) == 0, "tcflow");
  }
  std::vector<std::string> argv_text = {options.program_name.empty() ? program : options.program_name};
  argv_text.insert(argv_text.end(), options.arguments.begin(), options.arguments.end());
  const std::vector<char*> argv = argument_vector(argv_text);

  const pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    ::dup2(output, STDOUT_FILENO);
    ::dup2(error_write, STDERR_FILENO);
    ::close(out.descriptor());  // not to be counted against the descriptor limit
    ::close(err.descriptor());
    if (options.term != nullptr) ::setenv("TERM", options.term, 1);
    if (!options.standard_input.empty()) {
      const int input = ::open(options.standard_input.c_str(), O_RDONLY);
      if (input < 0 || ::dup2(input, STDIN_FILENO) < 0) ::_exit(126);
      ::close(input);
    }
    const rlimit limit = {static_cast<rlim_t>(options.descriptor_limit), static_cast<rlim_t>(options.descriptor_limit)};
    if (options.descriptor_limit >= 0 && ::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
    const bool drop = options.unprivileged && ::geteuid() == 0;
    if (drop && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
    if (!options.working_directory.empty() && ::chdir(options.working_directory.c_str()) != 0) ::_exit(126);
    if (options.in_child) options.in_child();
    if (options.timeout_seconds > 0) ::alarm(static_cast<unsigned>(options.timeout_seconds));
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  if (options.while_running) options.while_running(pid, error_write);
  run_result result;
  if (error_read >= 0) {
    ::close(error_write);
    result.standard_error = read_until_closed(error_read);
    ::close(error_read);
  }
  if (output != out.descriptor()) ::close(output);
  int wait_status = 0;
  ::waitpid(pid, &wait_status, 0);
  result.exit_status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  result.ending_signal = WIFSIGNALED(wait_status) ? WTERMSIG(wait_status) : 0;
  result.standard_output = out.text();
  if (error_read < 0) result.standard_error = err.text();
  return result;
}

int open_terminal(unsigned short columns, int* terminal) {
  const int control = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  check(control >= 0 && ::grantpt(control) == 0 && ::unlockpt(control) == 0, "posix_openpt");
  *terminal = ::open(::ptsname(control), O_RDWR | O_NOCTTY | O_CLOEXEC);
  check(*terminal >= 0, "open terminal");
  termios mode{};
  check(::tcgetattr(*terminal, &mode) == 0, "tcgetattr");
  mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // no line-end translation
  check(::tcsetattr(*terminal, TCSANOW, &mode) == 0, "tcsetattr");
  const winsize size = {24, columns, 0, 0};
  check(::ioctl(control, TIOCSWINSZ, &size) == 0, "TIOCSWINSZ");
  return control;
}

std::string read_until_closed(int descriptor) {
  std::string text;
  char block[4096];
  for (;;) {
    const ssize_t got = ::read(descriptor, block, sizeof block);
    if (got > 0) {
      text.append(block, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      return text;
    }
  }
}

int run_tool(const std::vector<std::string>& arguments) {
  std::vector<std::string> text = arguments;
  const std::vector<char*> argv = argument_vector(text);
  const pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int wait_status = 0;
  ::waitpid(pid, &wait_status, 0);
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

bool in_ci() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

}  // namespace quern_test
