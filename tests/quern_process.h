#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

// Helpers for end-to-end tests: run the built binary and make real trees.
namespace quern_test {

inline void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

struct run_options {
  std::vector<std::string> arguments;  // without the program name
  int descriptor_limit = -1;           // RLIMIT_NOFILE for the child, -1 to keep
  bool unprivileged = false;           // run as user nobody when started as root
  std::string standard_input = {};     // a file to read as standard input; empty: inherited
};

struct run_result {
  int exit_status = -1;  // -1 when the process did not exit normally
  std::string standard_output;
  std::string standard_error;
};

inline run_result run_quern(const run_options& options) {
  // Files rather than pipes: nothing to drain while the child runs.
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  check(out != nullptr && err != nullptr, "tmpfile");
  std::vector<std::string> argv_text = {QUERN_BINARY};
  argv_text.insert(argv_text.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    ::dup2(::fileno(out), STDOUT_FILENO);
    ::dup2(::fileno(err), STDERR_FILENO);
    ::close(::fileno(out));  // not to be counted against the descriptor limit
    ::close(::fileno(err));
    if (!options.standard_input.empty()) {
      const int input = ::open(options.standard_input.c_str(), O_RDONLY);
      if (input < 0 || ::dup2(input, STDIN_FILENO) < 0) ::_exit(126);
      ::close(input);
    }
    const rlimit limit = {static_cast<rlim_t>(options.descriptor_limit), static_cast<rlim_t>(options.descriptor_limit)};
    if (options.descriptor_limit >= 0 && ::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
    const bool drop = options.unprivileged && ::geteuid() == 0;
    if (drop && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int wait_status = 0;
  ::waitpid(pid, &wait_status, 0);
  run_result result{WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1, {}, {}};
  for (auto [file, text] : {std::pair{out, &result.standard_output}, std::pair{err, &result.standard_error}}) {
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) text->push_back(static_cast<char>(c));
    std::fclose(file);
  }
  return result;
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
