#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Helpers for end-to-end tests: run the built binary and make real trees.
namespace quern_test {

struct run_options {
  run_options(std::vector<std::string> program_arguments = {}) : arguments(std::move(program_arguments)) {}
  std::vector<std::string> arguments;  // without the program name
  int descriptor_limit = -1;           // RLIMIT_NOFILE for the child, -1 to keep
  bool unprivileged = false;           // run as user nobody when started as root
  std::string working_directory;       // empty: the current one
};

struct run_result {
  int exit_status = -1;  // -1 when the process did not exit normally
  std::string standard_output;
  std::string standard_error;
};

run_result run_quern(const run_options& options);

// A fresh directory below the system's temporary directory, readable by
// everyone, removed with everything in it when the object goes away.
class temporary_directory {
 public:
  temporary_directory();
  ~temporary_directory();
  temporary_directory(const temporary_directory&) = delete;
  temporary_directory& operator=(const temporary_directory&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

bool running_as_root();
void make_directory(const std::string& path);
void make_file(const std::string& path, int64_t size);  // sparse, no disk cost
void make_symlink(const std::string& target, const std::string& path);
void make_fifo(const std::string& path);
void make_socket(const std::string& path);
std::string read_file(const std::string& path);
bool exists(const std::string& path);
// Names in a directory, sorted, without "." and "..".
std::vector<std::string> list_directory(const std::string& path);

}  // namespace quern_test
