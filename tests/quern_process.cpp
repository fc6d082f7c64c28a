#include "quern_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <stdexcept>

namespace quern_test {

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Drains both pipes together so that a child writing much to one of them
// never blocks on the other.
void drain(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  int open_count = 2;
  char buffer[65536];
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? out : err).append(buffer, static_cast<size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

int remove_entry(const char* path, const struct stat*, int type, FTW*) {
  if (type == FTW_DP) {
    ::chmod(path, 0700);
    return ::rmdir(path);
  }
  return ::unlink(path);
}

// Directories made unreadable by a test must be opened up before removal.
int open_up(const char* path, const struct stat*, int type, FTW*) {
  if (type == FTW_D || type == FTW_DNR) ::chmod(path, 0755);
  return 0;
}

}  // namespace

bool running_as_root() { return ::geteuid() == 0; }

run_result run_quern(const run_options& options) {
  int out_pipe[2];
  int err_pipe[2];
  check(::pipe2(out_pipe, O_CLOEXEC) == 0, "pipe");
  check(::pipe2(err_pipe, O_CLOEXEC) == 0, "pipe");
  std::vector<std::string> argv_text = {QUERN_BINARY};
  argv_text.insert(argv_text.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    const int null_input = ::open("/dev/null", O_RDONLY);
    if (null_input >= 0) ::dup2(null_input, STDIN_FILENO);
    if (!options.working_directory.empty() && ::chdir(options.working_directory.c_str()) != 0) ::_exit(126);
    if (options.descriptor_limit >= 0) {
      const rlimit limit = {static_cast<rlim_t>(options.descriptor_limit), static_cast<rlim_t>(options.descriptor_limit)};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
    }
    if (options.unprivileged && ::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0) ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  run_result result;
  drain(out_pipe[0], err_pipe[0], result.standard_output, result.standard_error);
  int wait_status = 0;
  ::waitpid(pid, &wait_status, 0);
  result.exit_status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return result;
}

temporary_directory::temporary_directory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/quern-test-XXXXXX";
  check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  path_ = pattern;
  // Unprivileged runs need to reach into it.
  check(::chmod(path_.c_str(), 0777) == 0, "chmod");
}

temporary_directory::~temporary_directory() {
  ::nftw(path_.c_str(), open_up, 64, FTW_PHYS);
  ::nftw(path_.c_str(), remove_entry, 64, FTW_DEPTH | FTW_PHYS);
}

void make_directory(const std::string& path) { check(::mkdir(path.c_str(), 0755) == 0, "mkdir " + path); }

void make_file(const std::string& path, int64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  check(fd >= 0, "create " + path);
  check(::ftruncate(fd, static_cast<off_t>(size)) == 0, "ftruncate " + path);
  ::close(fd);
}

void make_symlink(const std::string& target, const std::string& path) {
  check(::symlink(target.c_str(), path.c_str()) == 0, "symlink " + path);
}

void make_fifo(const std::string& path) { check(::mkfifo(path.c_str(), 0644) == 0, "mkfifo " + path); }

void make_socket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  check(fd >= 0, "socket");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  check(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "bind " + path);
  ::close(fd);
}

std::string read_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  check(fd >= 0, "open " + path);
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return content;
}

bool exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> list_directory(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  check(dir != nullptr, "opendir " + path);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace quern_test
