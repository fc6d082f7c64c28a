#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Files as tests write and read them, on every platform.
namespace quern_test {

// Throws, naming what failed and the system's reason, unless ok.
void check(bool ok, const std::string& what);

// A file without a name for code under test, or a child process, to write
// to through its descriptor; gone with the object.
class temporary_file {
 public:
  temporary_file();
  ~temporary_file();
  temporary_file(const temporary_file&) = delete;
  temporary_file& operator=(const temporary_file&) = delete;

  int descriptor() const;
  // Everything written so far. Reading to the end leaves the next write to
  // follow it.
  std::string text() const;

 private:
  std::FILE* file_;
};

// The whole file; throws when it cannot be opened.
std::string read_file(const std::string& path);

// Whether anything, a dangling symbolic link too, has this path.
bool exists(const std::string& path);

// Names in a directory, sorted, without "." and "..".
std::vector<std::string> list_directory(const std::string& path);

}  // namespace quern_test
