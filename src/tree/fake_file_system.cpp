#include "tree/fake_file_system.h"

#include <algorithm>
#include <stdexcept>

namespace quern {

struct fake_file_system::node {
  std::string name;
  entry_status::kind type = entry_status::kind::directory;
  int64_t size = 0;
  std::vector<std::unique_ptr<node>> children;
  int stat_error = 0;
  int open_error = 0;
  int open_failures_left = 0;
  size_t listing_fails_after = SIZE_MAX;
  int listing_error = 0;
  std::function<void()> after_listing;

  node* child(const std::string& child_name) {
    for (auto& c : children)
      if (c->name == child_name) return c.get();
    return nullptr;
  }
};

namespace {

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

class fake_directory final : public open_directory {
 public:
  fake_directory(fake_file_system& owner, std::string path) : owner_(owner), path_(std::move(path)) {
    ++owner_.open_directories_;
    owner_.most_open_directories_ = std::max(owner_.most_open_directories_, owner_.open_directories_);
  }
  ~fake_directory() override { --owner_.open_directories_; }

  status read_names(name_list& names) override {
    fake_file_system::node* self = owner_.find(path_);
    if (self == nullptr) return status::ok();
    std::vector<std::string> all = {".", ".."};
    for (auto& c : self->children) all.push_back(c->name);
    status result;
    for (size_t i = 0; i < all.size(); ++i) {
      if (i == self->listing_fails_after) {
        result = status::error(self->listing_error);
        break;
      }
      names.add(all[i]);
    }
    if (self->after_listing) self->after_listing();
    return result;
  }

  status stat_entry(const char* name, entry_status& result) override {
    fake_file_system::node* self = owner_.find(path_);
    if (self == nullptr) return status::error(ENOENT);
    if (std::string(name) == "." || std::string(name) == "..") {
      result = {entry_status::kind::directory, 4096};
      return status::ok();
    }
    fake_file_system::node* entry = self->child(name);
    if (entry == nullptr) return status::error(ENOENT);
    if (entry->stat_error != 0) return status::error(entry->stat_error);
    result = {entry->type, entry->size};
    return status::ok();
  }

  status open_subdirectory(const char* name, std::unique_ptr<open_directory>& result) override {
    return owner_.open(path_ + "/" + name, result);
  }

 private:
  fake_file_system& owner_;
  std::string path_;
};

class fake_output_file final : public output_file {
 public:
  fake_output_file(fake_file_system& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
  status write(std::string_view bytes) override {
    auto fault = owner_.write_errors_.find(path_);
    if (fault != owner_.write_errors_.end()) {
      // Half of the bytes land, as on a disk that fills up.
      owner_.written_files_[path_].append(bytes.substr(0, bytes.size() / 2));
      return status::error(fault->second);
    }
    owner_.written_files_[path_].append(bytes);
    return status::ok();
  }
  status close() override {
    auto fault = owner_.close_errors_.find(path_);
    return fault == owner_.close_errors_.end() ? status::ok() : status::error(fault->second);
  }

 private:
  fake_file_system& owner_;
  std::string path_;
};

fake_file_system::fake_file_system() : root_(std::make_unique<node>()) {}
fake_file_system::~fake_file_system() = default;

fake_file_system::node* fake_file_system::find(const std::string& path) {
  node* current = root_.get();
  for (const std::string& part : components(path)) {
    current = current->child(part);
    if (current == nullptr) return nullptr;
  }
  return current;
}

fake_file_system::node& fake_file_system::add(const std::string& path, entry_status::kind type, int64_t size) {
  std::vector<std::string> parts = components(path);
  if (parts.empty()) throw std::invalid_argument("empty path");
  node* parent = root_.get();
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    parent = parent->child(parts[i]);
    if (parent == nullptr) throw std::invalid_argument("missing parent of " + path);
  }
  auto entry = std::make_unique<node>();
  entry->name = parts.back();
  entry->type = type;
  entry->size = size;
  parent->children.push_back(std::move(entry));
  return *parent->children.back();
}

void fake_file_system::add_directory(const std::string& path) { add(path, entry_status::kind::directory, 4096); }
void fake_file_system::add_file(const std::string& path, int64_t size) { add(path, entry_status::kind::regular, size); }
void fake_file_system::add_symlink(const std::string& path, int64_t size) { add(path, entry_status::kind::symlink, size); }
void fake_file_system::add_other(const std::string& path) { add(path, entry_status::kind::other, 0); }

void fake_file_system::remove(const std::string& path) {
  std::vector<std::string> parts = components(path);
  std::string parent_path;
  for (size_t i = 0; i + 1 < parts.size(); ++i) parent_path += "/" + parts[i];
  node* parent = find(parent_path);
  if (parent == nullptr) return;
  std::erase_if(parent->children, [&](const std::unique_ptr<node>& c) { return c->name == parts.back(); });
}

void fake_file_system::fail_stat(const std::string& path, int error_number) { find(path)->stat_error = error_number; }

void fake_file_system::fail_open(const std::string& path, int error_number, int times) {
  node* target = find(path);
  target->open_error = error_number;
  target->open_failures_left = times;
}

void fake_file_system::fail_listing_after(const std::string& path, size_t names, int error_number) {
  node* target = find(path);
  target->listing_fails_after = names;
  target->listing_error = error_number;
}

void fake_file_system::fail_create_file(const std::string& path, int error_number) { create_errors_[path] = error_number; }
void fake_file_system::fail_write(const std::string& path, int error_number) { write_errors_[path] = error_number; }
void fake_file_system::fail_close(const std::string& path, int error_number) { close_errors_[path] = error_number; }
void fake_file_system::fail_make_directory(int error_number) { make_directory_error_ = error_number; }
void fake_file_system::set_open_directory_limit(int limit) { open_directory_limit_ = limit; }

void fake_file_system::on_listing_read(const std::string& path, std::function<void()> action) {
  find(path)->after_listing = std::move(action);
}

status fake_file_system::open(const std::string& path, std::unique_ptr<open_directory>& result) {
  node* target = find(path);
  if (target == nullptr) return status::error(ENOENT);
  if (target->type != entry_status::kind::directory) return status::error(ENOTDIR);
  if (target->open_error != 0 && target->open_failures_left != 0) {
    if (target->open_failures_left > 0) --target->open_failures_left;
    return status::error(target->open_error);
  }
  if (open_directory_limit_ >= 0 && open_directories_ >= open_directory_limit_) return status::error(EMFILE);
  result = std::make_unique<fake_directory>(*this, path);
  return status::ok();
}

status fake_file_system::open_directory_at_path(const std::string& path, std::unique_ptr<open_directory>& result) {
  return open(path, result);
}

status fake_file_system::make_directory(const std::string& path) {
  if (make_directory_error_ != 0) return status::error(make_directory_error_);
  made_directories_.push_back(path);
  return status::ok();
}

status fake_file_system::create_file(const std::string& path, std::unique_ptr<output_file>& result) {
  auto fault = create_errors_.find(path);
  if (fault != create_errors_.end()) return status::error(fault->second);
  written_files_[path].clear();
  written_order_.push_back(path);
  result = std::make_unique<fake_output_file>(*this, path);
  return status::ok();
}

}  // namespace quern
