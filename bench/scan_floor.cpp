// The least work any scanner must do on a tree: read every directory and
// lstat every entry once, single-threaded, counting only. Its time is the
// floor that Quern's scan is compared with.

#include "tool_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using bench::fail;
using bench::fail_errno;

struct entry_counts {
  std::uint64_t directories = 0;
  std::uint64_t files = 0;
  std::uint64_t symlinks = 0;
  std::uint64_t other = 0;
  std::uint64_t file_bytes = 0;
  std::uint64_t apparent_bytes = 0;
  std::uint64_t errors = 0;
};

constexpr int directory_flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

class floor_walker {
 public:
  explicit floor_walker(int max_open) : max_open_(max_open) {}

  void walk_root(const char* path) {
    const int fd = open(path, directory_flags);
    if (fd < 0) {
      fail_errno("cannot open", path);
    }
    ++open_;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
      fail_errno("cannot stat", path);
    }
    ++counts_.directories;
    counts_.apparent_bytes += static_cast<std::uint64_t>(st.st_size);
    walk(fd, st.st_dev, st.st_ino, false);
  }

  const entry_counts& counts() const { return counts_; }

 private:
  struct Child {
    std::string name;
    dev_t dev;
    ino_t ino;
  };

  // Takes ownership of fd. With keep_open the descriptor is handed back
  // open, otherwise it is closed and -1 returned. Children are entered
  // with the parent still open while descriptors last; the parent is
  // closed before its last child, so a chain costs only a few, and past
  // max_open_ the parent is closed and found again through "..".
  int walk(int fd, dev_t dev, ino_t ino, bool keep_open) {
    std::vector<Child> children = read_entries(fd);
    for (std::size_t i = 0; i < children.size(); ++i) {
      const Child& child = children[i];
      const int child_fd = openat(fd, child.name.c_str(), directory_flags);
      if (child_fd < 0) {
        ++counts_.errors;
        continue;
      }
      ++open_;
      const bool last = i + 1 == children.size();
      if (last && !keep_open) {
        release(fd);
        fd = -1;
        walk(child_fd, child.dev, child.ino, false);
      } else if (open_ < max_open_) {
        walk(child_fd, child.dev, child.ino, false);
      } else {
        release(fd);
        const int back = walk(child_fd, child.dev, child.ino, true);
        fd = reopen_parent(back, dev, ino);
      }
    }
    if (keep_open) {
      return fd;
    }
    if (fd >= 0) {
      release(fd);
    }
    return -1;
  }

  std::vector<Child> read_entries(int fd) {
    std::vector<Child> children;
    for (;;) {
      const ssize_t length = getdents64(fd, buffer_.data(), buffer_.size());
      if (length < 0) {
        ++counts_.errors;
        break;
      }
      if (length == 0) {
        break;
      }
      for (ssize_t offset = 0; offset < length;) {
        const auto* entry = reinterpret_cast<const dirent64*>(buffer_.data() + offset);
        offset += entry->d_reclen;
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
          continue;
        }
        struct stat st {};
        if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
          ++counts_.errors;
          continue;
        }
        counts_.apparent_bytes += static_cast<std::uint64_t>(st.st_size);
        switch (st.st_mode & S_IFMT) {
          case S_IFDIR:
            ++counts_.directories;
            children.push_back(Child{name, st.st_dev, st.st_ino});
            break;
          case S_IFREG:
            ++counts_.files;
            counts_.file_bytes += static_cast<std::uint64_t>(st.st_size);
            break;
          case S_IFLNK: ++counts_.symlinks; break;
          default: ++counts_.other; break;
        }
      }
    }
    return children;
  }

  int reopen_parent(int child_fd, dev_t dev, ino_t ino) {
    const int fd = openat(child_fd, "..", directory_flags);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_dev != dev || st.st_ino != ino) {
      fail("lost the way back to a parent directory; was the tree changed during the walk?");
    }
    ++open_;
    release(child_fd);
    return fd;
  }

  void release(int fd) {
    close(fd);
    --open_;
  }

  std::vector<char> buffer_ = std::vector<char>(1 << 20);
  int max_open_;
  int open_ = 0;
  entry_counts counts_;
};

int default_max_open() {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return 512;
  }
  return static_cast<int>(std::clamp<rlim_t>(limit.rlim_cur / 2, 8, 512));
}

[[noreturn]] void usage() {
  std::fprintf(stderr, "usage: %s [--max-open N] ROOT\n", program_invocation_short_name);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  int max_open = default_max_open();
  const char* root = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--max-open" && i + 1 < argc) {
      max_open = static_cast<int>(std::clamp<std::uint64_t>(bench::parse_u64(argv[++i], arg), 2, 1 << 20));
    } else if (root == nullptr && !arg.starts_with("-")) {
      root = argv[i];
    } else {
      usage();
    }
  }
  if (root == nullptr) {
    usage();
  }
  floor_walker walker(max_open);
  walker.walk_root(root);
  const entry_counts& c = walker.counts();
  std::fprintf(stderr,
               "directories %llu\nfiles %llu\nsymlinks %llu\nother %llu\nfile_bytes %llu\n"
               "apparent_bytes %llu\nerrors %llu\n",
               static_cast<unsigned long long>(c.directories), static_cast<unsigned long long>(c.files),
               static_cast<unsigned long long>(c.symlinks), static_cast<unsigned long long>(c.other),
               static_cast<unsigned long long>(c.file_bytes), static_cast<unsigned long long>(c.apparent_bytes),
               static_cast<unsigned long long>(c.errors));
  return c.errors == 0 ? 0 : 1;
}
