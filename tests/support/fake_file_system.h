#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"

namespace quern {

// An in-memory file system for tests. Entries are keyed by the paths a run
// forms ("r", "r/a"; doubled slashes count once); faults are set on them.
// Safe to use from several threads, as the real one is.
class fake_file_system : public file_system {
 public:
  struct entry {
    entry_status::kind type = entry_status::kind::directory;
    int64_t size = 4096;
    std::vector<std::string> children;  // listed after "." and ".." in this order
    int open_error = 0;
    int open_failures = -1;                  // how often open_error strikes; -1: always
    size_t listing_breaks_after = SIZE_MAX;  // names, then listing_error
    int listing_error = 0;
    size_t batch = SIZE_MAX;  // names handed out per read
    // Changes the tree behind the scanner's back once the last name is out.
    std::function<void()> after_listing;
    uint64_t device = 1;
    uint64_t inode = 0;  // 0: one of its own
    uint64_t links = 1;
    uint32_t owner = 0;
    int64_t allocated = 0;
    int64_t modified = 0;
  };
  enum class stage { create, write, close };
  // A file to be read, handed out at most `chunk` bytes per read; once
  // `read_error` is set, the read after the first `breaks_after` bytes
  // fails with it.
  struct input {
    std::string bytes = {};
    size_t chunk = SIZE_MAX;
    size_t breaks_after = SIZE_MAX;
    int read_error = 0;
    int open_error = 0;
  };

  entry& add(const std::string& path, entry_status::kind type, int64_t size) {
    const std::string key = normal(path);
    const size_t slash = key.rfind('/');
    if (slash != std::string::npos) entries_.at(key.substr(0, slash)).children.push_back(key.substr(slash + 1));
    entry& added = entries_[key];
    added.type = type;
    added.size = size;
    return added;
  }
  entry& add_directory(const std::string& path) { return add(path, entry_status::kind::directory, 4096); }
  void add_file(const std::string& path, int64_t size) { add(path, entry_status::kind::regular, size); }
  void add_symlink(const std::string& path, int64_t size) { add(path, entry_status::kind::symlink, size); }
  void add_other(const std::string& path) { add(path, entry_status::kind::other, 0); }
  void remove(const std::string& path) {
    const std::string key = normal(path);
    std::erase(entries_.at(key.substr(0, key.rfind('/'))).children, key.substr(key.rfind('/') + 1));
    entries_.erase(key);
  }
  entry& at(const std::string& path) { return entries_.at(normal(path)); }
  void fail_output(const std::string& path, stage when, int error_number) { faults_[path] = {when, error_number}; }

  int open_limit = -1;  // more directories open at once fail with EMFILE
  int open_now = 0;
  int most_open = 0;
  std::map<std::string, std::string> written;
  std::vector<std::string> written_order;
  std::vector<std::string> removed;
  std::map<std::string, input> inputs;  // by path as given
  input standard_input_bytes;

  status open_directory_at_path(const std::string& path, std::unique_ptr<open_directory>& result) override {
    const std::lock_guard guard(mutex_);
    auto found = entries_.find(normal(path));
    if (found == entries_.end()) return status::error(ENOENT);
    entry& target = found->second;
    if (target.type != entry_status::kind::directory) return status::error(ENOTDIR);
    if (target.open_error != 0 && target.open_failures != 0) {
      if (target.open_failures > 0) --target.open_failures;
      return status::error(target.open_error);
    }
    if (open_limit >= 0 && open_now >= open_limit) return status::error(EMFILE);
    result = std::make_unique<directory>(*this, found->first);
    return status::ok();
  }
  // Every run makes its directory anew: what an earlier run wrote there is
  // forgotten.
  status make_output_directory(const std::string& path, std::unique_ptr<output_directory>& result) override {
    {
      const std::lock_guard guard(mutex_);
      std::erase_if(written, [&path](const auto& kept) { return kept.first.starts_with(path + "/"); });
    }
    result = std::make_unique<folder>(*this, path);
    return status::ok();
  }
  status open_directory_of(const std::string& file_path, std::unique_ptr<output_directory>& result,
                           std::string& name) override {
    const size_t slash = file_path.rfind('/');
    name = file_path.substr(slash + 1);
    const std::string path = slash == std::string::npos ? "." : file_path.substr(0, slash);
    if (path != "." && !entries_.contains(normal(path))) return status::error(ENOENT);
    result = std::make_unique<folder>(*this, path);
    return status::ok();
  }
  // Every file of an output directory is made here, by its path.
  virtual status create_file(const std::string& path, std::unique_ptr<output_file>& result) {
    const std::lock_guard guard(mutex_);
    if (taken(path)) return status::error(EEXIST);
    if (status created = fault(path, stage::create); !created.is_ok()) return created;
    written[path].clear();
    written_order.push_back(path);
    result = std::make_unique<file>(*this, path);
    return status::ok();
  }
  // An output directory for tests that write without a run; it lasts as
  // long as the file system.
  output_directory& output_at(const std::string& path) {
    const std::lock_guard guard(mutex_);
    auto& made = directories_[path];
    if (made == nullptr) made = std::make_unique<folder>(*this, path);
    return *made;
  }
  status open_input_file(const std::string& path, std::unique_ptr<input_file>& result) override {
    const std::lock_guard guard(mutex_);
    auto found = inputs.find(path);
    if (found == inputs.end()) return status::error(ENOENT);
    if (found->second.open_error != 0) return status::error(found->second.open_error);
    result = std::make_unique<reader>(found->second);
    return status::ok();
  }
  std::unique_ptr<input_file> standard_input() override { return std::make_unique<reader>(standard_input_bytes); }

 private:
  class reader final : public input_file {
   public:
    explicit reader(const input& source) : source_(source) {}
    status read(char* buffer, size_t capacity, size_t& got) override {
      if (source_.read_error != 0 && next_ >= source_.breaks_after) return status::error(source_.read_error);
      const size_t limit = source_.read_error != 0 ? source_.breaks_after : source_.bytes.size();
      got = std::min({capacity, source_.chunk, source_.bytes.size() - next_, limit - next_});
      std::memcpy(buffer, source_.bytes.data() + next_, got);
      next_ += got;
      return status::ok();
    }

   private:
    const input& source_;
    size_t next_ = 0;
  };

  class directory final : public open_directory {
   public:
    directory(fake_file_system& owner, std::string path) : owner_(owner), path_(std::move(path)) {
      owner_.most_open = std::max(owner_.most_open, ++owner_.open_now);
    }
    ~directory() override {
      const std::lock_guard guard(owner_.mutex_);
      --owner_.open_now;
    }
    status read_names(name_list& names) override {
      const std::lock_guard guard(owner_.mutex_);
      entry& self = owner_.entries_.at(path_);
      const size_t total = self.children.size() + 2;
      for (size_t handed = 0; next_ < total && handed < self.batch; ++next_, ++handed) {
        if (next_ == self.listing_breaks_after) return status::error(self.listing_error);
        names.add(next_ == 0 ? "." : next_ == 1 ? ".." : self.children[next_ - 2]);
      }
      if (next_ == total && !listed_) {
        listed_ = true;
        if (self.after_listing) self.after_listing();
      }
      return status::ok();
    }
    status stat_entry(const char* name, entry_status& result) override {
      const std::lock_guard guard(owner_.mutex_);
      if (std::string_view(name) == "." || std::string_view(name) == "..") {
        result.type = entry_status::kind::directory;
        result.size = 4096;
        return status::ok();
      }
      auto found = owner_.entries_.find(path_ + "/" + name);
      if (found == owner_.entries_.end()) return status::error(ENOENT);
      const entry& e = found->second;
      result.type = e.type;
      result.size = e.size;
      result.device = e.device;
      result.inode = e.inode != 0 ? e.inode : std::hash<std::string>()(found->first);
      result.links = e.links;
      result.owner = e.owner;
      result.allocated = e.allocated;
      result.modified = e.modified;
      return status::ok();
    }
    status identity(uint64_t& device, uint64_t& inode) override {
      const std::lock_guard guard(owner_.mutex_);
      const entry& self = owner_.entries_.at(path_);
      device = self.device;
      inode = self.inode != 0 ? self.inode : std::hash<std::string>()(path_);
      return status::ok();
    }
    status open_subdirectory(const char* name, std::unique_ptr<open_directory>& result) override {
      return owner_.open_directory_at_path(path_ + "/" + name, result);
    }

   private:
    fake_file_system& owner_;
    std::string path_;
    size_t next_ = 0;
    bool listed_ = false;
  };

  // Files are kept by their paths, "out/styles.css"; those of the current
  // directory by their names alone.
  class folder final : public output_directory {
   public:
    folder(fake_file_system& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
    status create_file(std::string_view name, std::unique_ptr<output_file>& result) override {
      return owner_.create_file(path_of(name), result);
    }
    status identity_of(std::string_view name, uint64_t& device, uint64_t& inode) override {
      const std::lock_guard guard(owner_.mutex_);
      const std::string path = name == "." ? path_ : path_of(name);
      const auto found = owner_.entries_.find(normal(path));
      if (found == owner_.entries_.end() && !owner_.taken(path) && name != ".") return status::error(ENOENT);
      device = found != owner_.entries_.end() ? found->second.device : 1;
      inode = found != owner_.entries_.end() && found->second.inode != 0 ? found->second.inode
                                                                         : std::hash<std::string>()(normal(path));
      return status::ok();
    }
    std::string path_of(std::string_view name) const {
      return path_ == "." ? std::string(name) : path_ + "/" + std::string(name);
    }

   private:
    fake_file_system& owner_;
    std::string path_;
  };

  class file final : public output_file {
   public:
    file(fake_file_system& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
    ~file() override {
      const std::lock_guard guard(owner_.mutex_);
      if (finished_) return;
      owner_.written.erase(path_);
      owner_.removed.push_back(path_);
    }
    status write(std::string_view bytes) override {
      const std::lock_guard guard(owner_.mutex_);
      if (failure_.is_ok()) failure_ = owner_.fault(path_, stage::write);
      if (failure_.is_ok()) owner_.written[path_].append(bytes);
      return failure_;
    }
    status close() override {
      const std::lock_guard guard(owner_.mutex_);
      if (failure_.is_ok()) failure_ = owner_.fault(path_, stage::close);
      finished_ = failure_.is_ok();
      return failure_;
    }
    status close_as(std::string_view name) override {
      const std::lock_guard guard(owner_.mutex_);
      if (failure_.is_ok()) failure_ = owner_.fault(path_, stage::close);
      if (!failure_.is_ok()) return failure_;
      const size_t slash = path_.rfind('/');
      const std::string final_path =
          slash == std::string::npos ? std::string(name) : path_.substr(0, slash + 1) + std::string(name);
      if (owner_.taken(final_path)) return status::error(EEXIST);
      owner_.written[final_path] = std::move(owner_.written[path_]);
      owner_.written.erase(path_);
      finished_ = true;
      return status::ok();
    }

   private:
    fake_file_system& owner_;
    std::string path_;
    status failure_;
    bool finished_ = false;
  };

  bool taken(const std::string& path) const {
    return written.contains(path) || inputs.contains(path) || entries_.contains(normal(path));
  }

  static std::string normal(const std::string& path) {
    std::string result;
    for (char c : path)
      if (c != '/' || (!result.empty() && result.back() != '/')) result += c;
    if (!result.empty() && result.back() == '/') result.pop_back();
    return result;
  }
  status fault(const std::string& path, stage when) const {
    auto found = faults_.find(path);
    return found != faults_.end() && found->second.first == when ? status::error(found->second.second) : status::ok();
  }

  std::recursive_mutex mutex_;
  std::map<std::string, entry> entries_;
  std::map<std::string, std::pair<stage, int>> faults_;
  std::map<std::string, std::unique_ptr<folder>> directories_;
};

}  // namespace quern
