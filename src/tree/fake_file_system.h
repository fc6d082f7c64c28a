#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace quern {

// An in-memory file system for tests. Paths are the joined texts a run
// forms ("root", "root/a", "root/a/b"); faults are attached to them.
class fake_file_system : public file_system {
 public:
  fake_file_system();
  ~fake_file_system() override;

  // Adds an entry; the parent directory must exist already. Listings deliver
  // ".", ".." and then the entries in the order they were added.
  void add_directory(const std::string& path);
  void add_file(const std::string& path, int64_t size);
  void add_symlink(const std::string& path, int64_t size);
  void add_other(const std::string& path);
  void remove(const std::string& path);

  // Faults, each for the entry or directory at the path.
  void fail_stat(const std::string& path, int error_number);
  // The next `times` opens fail; -1 for all of them.
  void fail_open(const std::string& path, int error_number, int times = -1);
  // The listing breaks off with the error after this many names.
  void fail_listing_after(const std::string& path, size_t names, int error_number);
  void fail_create_file(const std::string& path, int error_number);
  void fail_write(const std::string& path, int error_number);
  void fail_close(const std::string& path, int error_number);
  void fail_make_directory(int error_number);
  // More directories open at once than this fail with EMFILE.
  void set_open_directory_limit(int limit);
  // Called once a listing has been read, to change the tree behind the
  // scanner's back (an entry that vanishes before it is stat'ed).
  void on_listing_read(const std::string& path, std::function<void()> action);

  // What the run did.
  int open_directories() const { return open_directories_; }
  int most_open_directories() const { return most_open_directories_; }
  const std::map<std::string, std::string>& written_files() const { return written_files_; }
  std::vector<std::string> written_file_order() const { return written_order_; }
  const std::vector<std::string>& made_directories() const { return made_directories_; }

  status open_directory_at_path(const std::string& path, std::unique_ptr<open_directory>& result) override;
  status make_directory(const std::string& path) override;
  status create_file(const std::string& path, std::unique_ptr<output_file>& result) override;

  struct node;

 private:
  friend class fake_directory;
  friend class fake_output_file;
  node* find(const std::string& path);
  node& add(const std::string& path, entry_status::kind type, int64_t size);
  status open(const std::string& path, std::unique_ptr<open_directory>& result);

  std::unique_ptr<node> root_;
  int open_directories_ = 0;
  int most_open_directories_ = 0;
  int open_directory_limit_ = -1;
  int make_directory_error_ = 0;
  std::map<std::string, int> create_errors_;
  std::map<std::string, int> write_errors_;
  std::map<std::string, int> close_errors_;
  std::map<std::string, std::string> written_files_;
  std::vector<std::string> written_order_;
  std::vector<std::string> made_directories_;
};

}  // namespace quern
