#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

// Helpers for end-to-end tests: run the built binary and make real trees.
namespace quern_test {

inline void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Extra arguments that every end-to-end run of a whole report is repeated
// with, one run per entry; the empty entry runs Quern as it starts by default.
inline const std::vector<std::vector<std::string>> thread_variants = {{}, {"-j", "1"}};

// The variant's arguments, then these.
inline std::vector<std::string> with_variant(const std::vector<std::string>& variant,
                                             const std::vector<std::string>& arguments) {
  std::vector<std::string> all = variant;
  all.insert(all.end(), arguments.begin(), arguments.end());
  return all;
}

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
  std::function<void()> in_child = nullptr;  // runs in the child just before it becomes Quern
  std::string standard_input = {};           // a file to read as standard input; empty: inherited
};

struct run_result {
  int exit_status = -1;   // -1 when the process did not exit normally
  int ending_signal = 0;  // the signal that ended it, if one did
  std::string standard_output;
  std::string standard_error;  // bytes exactly as written, also from a terminal
};

// A pseudo-terminal that passes bytes through unchanged, with the given
// width. Returns the controlling side; the terminal side is put in *terminal.
inline int open_terminal(unsigned short columns, int* terminal) {
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

// Everything readable from the descriptor until its writers are gone; a
// terminal reports that with EIO.
inline std::string read_until_closed(int descriptor) {
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

inline run_result run_quern(const run_options& options) {
  // Files rather than pipes where possible: nothing to drain while the
  // child runs.
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  check(out != nullptr && err != nullptr, "tmpfile");
  int output = ::fileno(out);
  if (options.standard_output_path != nullptr) {
    output = ::open(options.standard_output_path, O_WRONLY | O_CLOEXEC);
    check(output >= 0, std::string("open ") + options.standard_output_path);
  }
  int error_write = ::fileno(err);  // the child's standard error
  int error_read = -1;              // where the parent reads it, unless a file
  if (options.error_to == error_stream::pipe) {
    int ends[2];
    check(::pipe2(ends, O_CLOEXEC) == 0, "pipe");
    error_read = ends[0];
    error_write = ends[1];
  } else if (options.error_to == error_stream::terminal) {
    error_read = open_terminal(options.terminal_columns, &error_write);
    if (options.terminal_output_stopped) check(::tcflow(error_write, TCOOFF) == 0, "tcflow");
  }
  std::vector<std::string> argv_text = {QUERN_BINARY};
  argv_text.insert(argv_text.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    ::dup2(output, STDOUT_FILENO);
    ::dup2(error_write, STDERR_FILENO);
    ::close(::fileno(out));  // not to be counted against the descriptor limit
    ::close(::fileno(err));
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
    if (options.in_child) options.in_child();
    if (options.timeout_seconds > 0) ::alarm(static_cast<unsigned>(options.timeout_seconds));
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (options.while_running) options.while_running(pid, error_write);
  run_result result;
  if (error_read >= 0) {
    ::close(error_write);
    result.standard_error = read_until_closed(error_read);
    ::close(error_read);
  }
  if (output != ::fileno(out)) ::close(output);
  int wait_status = 0;
  ::waitpid(pid, &wait_status, 0);
  result.exit_status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  result.ending_signal = WIFSIGNALED(wait_status) ? WTERMSIG(wait_status) : 0;
  for (auto [file, text] : {std::pair{out, &result.standard_output}, std::pair{err, &result.standard_error}}) {
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) text->push_back(static_cast<char>(c));
    std::fclose(file);
  }
  return result;
}

// Runs a tool with its output thrown away; its exit status, 127 when it
// cannot be started.
inline int run_tool(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::vector<std::string> text = arguments;
  for (std::string& a : text) argv.push_back(a.data());
  argv.push_back(nullptr);
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

// In CI every tool that a test needs must be there; elsewhere a test whose
// tool is missing is skipped.
inline bool in_ci() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

// A fresh directory that everyone can reach, removed with its contents.
class temporary_directory {
 public:
  temporary_directory() : path_(std::filesystem::temp_directory_path().string() + "/quern-test-XXXXXX") {
    check(::mkdtemp(path_.data()) != nullptr && ::chmod(path_.c_str(), 0777) == 0, "mkdtemp");
  }
  // Tests lock directories, and paths may exceed what one call accepts.
  ~temporary_directory() { std::system(("chmod -R u+rwx " + path_ + " && rm -rf " + path_).c_str()); }
  temporary_directory(const temporary_directory&) = delete;
  temporary_directory& operator=(const temporary_directory&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// A tmpfs of the given size mounted on a new directory, unmounted again
// when the object goes. Needs root; tests ask can_mount() first.
class tmpfs_mount {
 public:
  tmpfs_mount(const std::string& path, const std::string& size) : path_(path) {
    check(::mkdir(path.c_str(), 0777) == 0, "mkdir " + path);
    check(::mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0777").c_str()) == 0, "mount " + path);
  }
  ~tmpfs_mount() {
    ::umount2(path_.c_str(), MNT_DETACH);
    ::rmdir(path_.c_str());
  }
  tmpfs_mount(const tmpfs_mount&) = delete;
  tmpfs_mount& operator=(const tmpfs_mount&) = delete;
  static bool can_mount() { return ::geteuid() == 0; }

 private:
  std::string path_;
};

inline void make_directory(const std::string& path) { check(::mkdir(path.c_str(), 0755) == 0, "mkdir " + path); }

// Sparse, so large sizes cost no disk space.
inline void make_file(const std::string& path, int64_t size) {
  { std::ofstream created(path); }
  std::filesystem::resize_file(path, static_cast<uintmax_t>(size));
}

inline void make_symlink(const std::string& target, const std::string& path) {
  std::filesystem::create_symlink(target, path);
}

// A fifo or a socket, as mknod makes them for anyone.
inline void make_node(const std::string& path, mode_t type) {
  check(::mknod(path.c_str(), type | 0644, 0) == 0, "mknod " + path);
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  check(in.good(), "open " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool exists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

// Names in a directory, sorted, without "." and "..".
inline std::vector<std::string> list_directory(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace quern_test
