#include "support/scratch_tree.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/files.h"

namespace quern_test {

temporary_directory::temporary_directory()
    : path_(std::filesystem::temp_directory_path().string() + "/quern-test-XXXXXX") {
  check(::mkdtemp(path_.data()) != nullptr && ::chmod(path_.c_str(), 0777) == 0, "mkdtemp");
}

// Tests lock directories, and paths may exceed what one call accepts.
temporary_directory::~temporary_directory() {
  std::system(("chmod -R u+rwx " + path_ + " && rm -rf " + path_).c_str());
}

tmpfs_mount::tmpfs_mount(const std::string& path, const std::string& size) : path_(path) {
  check(::mkdir(path.c_str(), 0777) == 0, "mkdir " + path);
  check(::mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0777").c_str()) == 0, "mount " + path);
}

tmpfs_mount::~tmpfs_mount() {
  ::umount2(path_.c_str(), MNT_DETACH);
  ::rmdir(path_.c_str());
}

bool tmpfs_mount::can_mount() { return ::geteuid() == 0; }

void make_directory(const std::string& path) { check(::mkdir(path.c_str(), 0755) == 0, "mkdir " + path); }

void make_file(const std::string& path, int64_t size) {
  { std::ofstream created(path); }
  std::filesystem::resize_file(path, static_cast<uintmax_t>(size));
}

void make_symlink(const std::string& target, const std::string& path) { std::filesystem::create_symlink(target, path); }

void make_node(const std::string& path, mode_t type) {
  check(::mknod(path.c_str(), type | 0644, 0) == 0, "mknod " + path);
}

}  // namespace quern_test
