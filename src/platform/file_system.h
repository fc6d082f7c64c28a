#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace quern {

// What Quern needs to know about one directory entry, taken without
// following a symbolic link.
struct entry_status {
  // skipped: an entry the platform's scan neither counts nor enters, on a
  // platform that knows only directories and regular files (on Windows, a
  // link or a device).
  enum class kind : uint8_t { directory, symlink, regular, other, skipped };
  kind type = kind::other;
  int64_t size = 0;  // the entry's own length, 64-bit
  // The space it takes on the disk, in bytes: allocated blocks times their
  // unit, less than the length for sparse or compressed files.
  int64_t allocated = 0;
  // When its content last changed, in seconds since 1970 (UTC), rounded down.
  int64_t modified = 0;
  // The file system the entry lies on and its number there: together the
  // entry's identity, shared by all hard links to it.
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t links = 1;  // names the entry has
  uint32_t owner = 0;  // the user number of its owner, where the platform tells it
};

// The names of one directory listing, in the order the system delivered
// them, "." and ".." included. Kept in one block so that a large directory
// costs one allocation, not one per name.
class name_list {
 public:
  void clear() {
    text_.clear();
    starts_.clear();
  }
  void add(std::string_view name) {
    starts_.push_back(text_.size());
    text_.append(name);
    text_.push_back('\0');
  }
  size_t size() const { return starts_.size(); }
  const char* operator[](size_t index) const { return text_.data() + starts_[index]; }
  std::string_view view(size_t index) const { return {text_.data() + starts_[index], length(index)}; }
  size_t length(size_t index) const {
    const size_t end = index + 1 < starts_.size() ? starts_[index + 1] : text_.size();
    return end - starts_[index] - 1;
  }
  size_t footprint() const { return text_.capacity() + starts_.capacity() * sizeof(size_t); }

 private:
  std::string text_;
  std::vector<size_t> starts_;
};

// An open directory. Entries are stat'ed and subdirectories opened relative
// to it, so neither depends on the length of the full path. Several threads
// may stat entries and open subdirectories of one directory at once; its
// names are read by one thread at a time.
class open_directory {
 public:
  virtual ~open_directory() = default;
  // Appends the next names of the listing, as many as one read of the
  // system delivers, so that a huge directory is never held whole; appends
  // none once the listing has ended. On failure the names appended before
  // it stay.
  virtual status read_names(name_list& names) = 0;
  virtual status stat_entry(const char* name, entry_status& result) = 0;
  // The directory's own identity: its file system and its number there, as
  // entry_status gives them.
  virtual status identity(uint64_t& device, uint64_t& inode) = 0;
  // Opens a subdirectory without following a symbolic link.
  virtual status open_subdirectory(const char* name, std::unique_ptr<open_directory>& result) = 0;
};

// A file being written, in an output directory. It is unfinished until
// close() or close_as() succeeds: an unfinished file is removed when it is
// destroyed, and also when the run is ended from outside before, so that
// no reader ever meets a file that silently lacks its end.
class output_file {
 public:
  virtual ~output_file() = default;
  virtual status write(std::string_view bytes) = 0;
  // Every failure, of a write before or of the close, is reported here too:
  // a file that missed a write stays unfinished.
  virtual status close() = 0;
  // Flushes the file to the disk, closes it and gives it the name in the
  // same directory, unless that name is taken by then (EEXIST): a file
  // under that name is always whole, even after a crash.
  virtual status close_as(std::string_view name) = 0;
};

// A directory held open while files are made in it: every file is made and
// removed there, whatever happens to the directory's path meanwhile.
class output_directory {
 public:
  virtual ~output_directory() = default;
  // Makes a new file: never through a symbolic link, never over a file that
  // has the name already (EEXIST).
  virtual status create_file(std::string_view name, std::unique_ptr<output_file>& result) = 0;
  // The identity, as entry_status gives it, of the entry of that name
  // (ENOENT where there is none); "." is the directory itself.
  virtual status identity_of(std::string_view name, uint64_t& device, uint64_t& inode) = 0;
};

// A file read from its start to its end, in blocks.
class input_file {
 public:
  virtual ~input_file() = default;
  // Reads up to `capacity` bytes; `got` is 0 only at the end of the file.
  virtual status read(char* buffer, size_t capacity, size_t& got) = 0;
};

// The platform's file system, narrowed to what a run uses; tests replace it
// with a fake that can inject faults.
class file_system {
 public:
  virtual ~file_system() = default;
  virtual status open_directory_at_path(const std::string& path, std::unique_ptr<open_directory>& result) = 0;
  // Makes the new directory of a report (its last component only, with
  // permission bits 0755) and holds it: it must then be a directory, not a
  // link, and belong to the user Quern runs as, or it is not used at all.
  virtual status make_output_directory(const std::string& path, std::unique_ptr<output_directory>& result) = 0;
  // Holds the existing directory that a file's path names, to make the file
  // there; `name` is the path's last component (EISDIR where it has none).
  virtual status open_directory_of(const std::string& file_path, std::unique_ptr<output_directory>& result,
                                   std::string& name) = 0;
  virtual status open_input_file(const std::string& path, std::unique_ptr<input_file>& result) = 0;
  // The process's standard input; destroying the result leaves it open.
  virtual std::unique_ptr<input_file> standard_input() = 0;
};

// The file system of the platform Quern was built for.
file_system& platform_file_system();

// False on platforms whose directory entries know no symbolic links and no
// device files; their columns are then switched off and left out of the help.
bool platform_has_links_and_devices();

// False where a listing does not tell how many names a file has, so that
// files with several names cannot be counted once.
bool platform_counts_hard_links();

}  // namespace quern
