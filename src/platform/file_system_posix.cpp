#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/text.h"
#include "base/unfinished_files.h"
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
    // st_blocks counts 512-byte units on every system Quern runs on.
    result.allocated = static_cast<int64_t>(info.st_blocks) * 512;
    result.modified = static_cast<int64_t>(info.st_mtim.tv_sec);
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

// A new file in a directory held open; it is made, named and removed
// relative to that directory.
class posix_output_file final : public output_file {
 public:
  posix_output_file(int directory, std::string_view name) : directory_(directory), name_(name) {}
  ~posix_output_file() override {
    if (descriptor_ >= 0) ::close(descriptor_);
    if (made_ && !finished_) remove(this);
  }

  status create() { return unfinished_.make(create_in, this); }

  status write(std::string_view bytes) override {
    while (!bytes.empty() && failure_.is_ok()) {
      const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
      if (written < 0) {
        if (errno != EINTR) failure_ = status::from_errno();
        continue;
      }
      bytes.remove_prefix(static_cast<size_t>(written));
    }
    return failure_;
  }

  status close() override {
    const status closed = close_descriptor();
    if (!failure_.is_ok()) return failure_;
    if (closed.is_ok()) finish();
    return closed;
  }

  status close_as(std::string_view name) override {
    if (!failure_.is_ok()) return failure_;
    if (::fsync(descriptor_) != 0) return status::from_errno();
    if (const status closed = close_descriptor(); !closed.is_ok()) return closed;
    const std::string final_name(name);
    if (::linkat(directory_, name_.c_str(), directory_, final_name.c_str(), 0) == 0) {
      ::unlinkat(directory_, name_.c_str(), 0);
    } else if (errno != EPERM && errno != EOPNOTSUPP) {
      return status::from_errno();
    } else {
      // A file system without hard links: the name is checked just before
      // the rename, which leaves the shortest window possible there.
      struct stat info;
      if (::fstatat(directory_, final_name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return status::error(EEXIST);
      if (::renameat(directory_, name_.c_str(), directory_, final_name.c_str()) != 0) return status::from_errno();
    }
    finish();
    return status::ok();
  }

 private:
  static status create_in(void* context) {
    auto* file = static_cast<posix_output_file*>(context);
    file->descriptor_ =
        ::openat(file->directory_, file->name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file->descriptor_ < 0) return status::from_errno();
    file->made_ = true;
    return status::ok();
  }
  static void remove(const void* context) noexcept {
    const auto* file = static_cast<const posix_output_file*>(context);
    ::unlinkat(file->directory_, file->name_.c_str(), 0);
  }

  status close_descriptor() {
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result == 0 ? status::ok() : status::from_errno();
  }
  void finish() {
    finished_ = true;
    unfinished_.finished();
  }

  const int directory_;
  const std::string name_;
  int descriptor_ = -1;
  status failure_;  // of the first write that failed
  bool made_ = false;
  bool finished_ = false;
  unfinished_file unfinished_{remove, this};
};

class posix_output_directory final : public output_directory {
 public:
  explicit posix_output_directory(int descriptor) : descriptor_(descriptor) {}
  ~posix_output_directory() override { ::close(descriptor_); }

  status create_file(std::string_view name, std::unique_ptr<output_file>& result) override {
    auto file = std::make_unique<posix_output_file>(descriptor_, name);
    const status created = file->create();
    if (created.is_ok()) result = std::move(file);
    return created;
  }

  status identity_of(std::string_view name, uint64_t& device, uint64_t& inode) override {
    struct stat info;
    if (::fstatat(descriptor_, std::string(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return status::from_errno();
    device = static_cast<uint64_t>(info.st_dev);
    inode = static_cast<uint64_t>(info.st_ino);
    return status::ok();
  }

 private:
  const int descriptor_;
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

  status make_output_directory(const std::string& path, std::unique_ptr<output_directory>& result) override {
    if (::mkdir(path.c_str(), 0755) != 0) return status::from_errno();
    // Whoever can write to the parent could have put another directory, or
    // a link to one, in its place since.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) return status::from_errno();
    auto made = std::make_unique<posix_output_directory>(descriptor);
    struct stat info;
    if (::fstat(descriptor, &info) != 0) return status::from_errno();
    if (info.st_uid != ::geteuid()) return status::error(EPERM);
    result = std::move(made);
    return status::ok();
  }

  status open_directory_of(const std::string& file_path, std::unique_ptr<output_directory>& result,
                           std::string& name) override {
    const size_t slash = file_path.rfind('/');
    name = slash == std::string::npos ? file_path : file_path.substr(slash + 1);
    if (name.empty() || is_dot_or_dot_dot(name)) return status::error(EISDIR);
    const std::string path = slash == std::string::npos ? "." : slash == 0 ? "/" : file_path.substr(0, slash);
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return status::from_errno();
    result = std::make_unique<posix_output_directory>(descriptor);
    return status::ok();
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
};

}  // namespace

file_system& platform_file_system() {
  static posix_file_system instance;
  return instance;
}

bool platform_has_links_and_devices() { return true; }

bool platform_counts_hard_links() { return true; }

}  // namespace quern
