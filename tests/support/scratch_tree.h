#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// Real trees for the program to scan, on POSIX systems.
namespace quern_test {

// A fresh directory that everyone can reach, removed with its contents.
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

// A tmpfs of the given size mounted on a new directory, unmounted again
// when the object goes. Needs root; tests ask can_mount() first.
class tmpfs_mount {
 public:
  tmpfs_mount(const std::string& path, const std::string& size);
  ~tmpfs_mount();
  tmpfs_mount(const tmpfs_mount&) = delete;
  tmpfs_mount& operator=(const tmpfs_mount&) = delete;
  static bool can_mount();

 private:
  std::string path_;
};

void make_directory(const std::string& path);

// Sparse, so large sizes cost no disk space.
void make_file(const std::string& path, int64_t size);

void make_symlink(const std::string& target, const std::string& path);

// A fifo or a socket, as mknod makes them for anyone.
void make_node(const std::string& path, mode_t type);

}  // namespace quern_test
