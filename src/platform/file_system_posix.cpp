#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/directory_listing.h"
#include "platform/file_system.h"

namespace quern {

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;

entry_status::kind kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return entry_status::kind::directory;
  if (S_ISLNK(mode)) return entry_status::kind::symlink;
  if (S_ISREG(mode)) return entry_status::kind::regular;
  return entry_status::kind::other;
}

class posix_directory final : public open_directory {
 public:
  explicit posix_directory(int descriptor) : listing_(descriptor) {}

  status read_names(name_list& names) override { return listing_.read_names(names); }

  status stat_entry(const char* name, entry_status& result) override {
    struct stat info;
    if (::fstatat(listing_.descriptor(), name, &info, AT_SYMLINK_NOFOLLOW) != 0) return status::from_errno();
    result.type = kind_of(info.st_mode);
    result.size = static_cast<int64_t>(info.st_size);
    result.device = static_cast<uint64_t>(info.st_dev);
    result.inode = static_cast<uint64_t>(info.st_ino);
    result.links = static_cast<uint64_t>(info.st_nlink);
    result.owner = static_cast<uint32_t>(info.st_uid);
    return status::ok();
  }

  status identity(uint64_t& device, uint64_t& inode) override {
    struct stat info;
    if (::fstat(listing_.descriptor(), &info) != 0) return status::from_errno();
    device = static_cast<uint64_t>(info.st_dev);
    inode = static_cast<uint64_t>(info.st_ino);
    return status::ok();
  }

  status open_subdirectory(const char* name, std::unique_ptr<open_directory>& result) override {
    const int descriptor = ::openat(listing_.descriptor(), name, kDirectoryFlags | O_NOFOLLOW);
    if (descriptor < 0) return status::from_errno();
    result = std::make_unique<posix_directory>(descriptor);
    return status::ok();
  }

 private:
  directory_listing listing_;
};

class posix_output_file final : public output_file {
 public:
  explicit posix_output_file(int descriptor) : descriptor_(descriptor) {}
  ~posix_output_file() override {
    if (descriptor_ >= 0) ::close(descriptor_);
  }

  status write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        return status::from_errno();
      }
      bytes.remove_prefix(static_cast<size_t>(written));
    }
    return status::ok();
  }

  status close() override {
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result == 0 ? status::ok() : status::from_errno();
  }

 private:
  int descriptor_;
};

class posix_input_file final : public input_file {
 public:
  posix_input_file(int descriptor, bool owned) : descriptor_(descriptor), owned_(owned) {}
  ~posix_input_file() override {
    if (owned_) ::close(descriptor_);
  }

  status read(char* buffer, size_t capacity, size_t& got) override {
    for (;;) {
      const ssize_t count = ::read(descriptor_, buffer, capacity);
      if (count >= 0) {
        got = static_cast<size_t>(count);
        return status::ok();
      }
      if (errno != EINTR) return status::from_errno();
    }
  }

 private:
  int descriptor_;
  bool owned_;
};

class posix_file_system final : public file_system {
 public:
  status open_directory_at_path(const std::string& path, std::unique_ptr<open_directory>& result) override {
    // The root is given by the user and may itself be a symbolic link to a
    // directory; it is followed, everything below it is not.
    const int descriptor = ::open(path.c_str(), kDirectoryFlags);
    if (descriptor < 0) return status::from_errno();
    result = std::make_unique<posix_directory>(descriptor);
    return status::ok();
  }

  status make_directory(const std::string& path) override {
    return ::mkdir(path.c_str(), 0755) == 0 ? status::ok() : status::from_errno();
  }

  status create_file(const std::string& path, std::unique_ptr<output_file>& result) override {
    return create(path, O_TRUNC, result);
  }

  status create_new_file(const std::string& path, std::unique_ptr<output_file>& result) override {
    return create(path, O_EXCL, result);
  }

  status remove_file(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? status::ok() : status::from_errno();
  }

  status open_input_file(const std::string& path, std::unique_ptr<input_file>& result) override {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return status::from_errno();
    result = std::make_unique<posix_input_file>(descriptor, true);
    return status::ok();
  }

  std::unique_ptr<input_file> standard_input() override {
    return std::make_unique<posix_input_file>(STDIN_FILENO, false);
  }

 private:
  static status create(const std::string& path, int mode, std::unique_ptr<output_file>& result) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0666);
    if (descriptor < 0) return status::from_errno();
    result = std::make_unique<posix_output_file>(descriptor);
    return status::ok();
  }
};

}  // namespace

file_system& platform_file_system() {
  static posix_file_system instance;
  return instance;
}

bool platform_has_links_and_devices() { return true; }

bool platform_counts_hard_links() { return true; }

}  // namespace quern
