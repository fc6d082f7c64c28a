// Runs one command and prints its wall time, CPU times and peak resident
// memory, taken from wait4 so that nothing of the shell is counted.
//
// Output, one line on stdout:
//   WALL_SECONDS USER_SECONDS SYSTEM_SECONDS MAXRSS_KIB STATUS
// STATUS is the exit code, or 128 plus the signal number.

#include "tool_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace {

using bench::fail_errno;

double seconds(const timeval& value) {
  return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_usec) / 1e6;
}

double now() {
  timespec value{};
  clock_gettime(CLOCK_MONOTONIC, &value);
  return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_nsec) / 1e9;
}

void redirect(const char* path, int target) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || dup2(fd, target) < 0) {
    fail_errno("cannot redirect to", path);
  }
  close(fd);
}

[[noreturn]] void usage() {
  std::fprintf(stderr, "usage: %s [--stdout FILE] [--stderr FILE] -- COMMAND [ARG...]\n",
               program_invocation_short_name);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  const char* out_path = "/dev/null";
  const char* err_path = "/dev/null";
  int first = 1;
  for (; first < argc; ++first) {
    const std::string_view arg = argv[first];
    if (arg == "--") {
      ++first;
      break;
    }
    if (first + 1 >= argc) {
      usage();
    }
    if (arg == "--stdout") {
      out_path = argv[++first];
    } else if (arg == "--stderr") {
      err_path = argv[++first];
    } else {
      usage();
    }
  }
  if (first >= argc) {
    usage();
  }

  std::fflush(stdout);
  const double started = now();
  const pid_t child = fork();
  if (child < 0) {
    fail_errno("cannot fork for", argv[first]);
  }
  if (child == 0) {
    redirect(out_path, STDOUT_FILENO);
    redirect(err_path, STDERR_FILENO);
    execvp(argv[first], argv + first);
    std::perror(argv[first]);
    _exit(127);
  }
  int status = 0;
  rusage usage_of_child{};
  if (wait4(child, &status, 0, &usage_of_child) != child) {
    fail_errno("cannot wait for", argv[first]);
  }
  const double wall = now() - started;
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%.6f %.6f %.6f %ld %d\n", wall, seconds(usage_of_child.ru_utime), seconds(usage_of_child.ru_stime),
              usage_of_child.ru_maxrss, code);
  return 0;
}
