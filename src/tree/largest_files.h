#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quern {

// One regular file among the largest of some subtree, its path in the same
// allocation. The lists of every directory above it that it ranks in share
// it; the last of them to let go of it frees it, on whatever thread.
class largest_file {
 public:
  largest_file(const largest_file&) = delete;
  largest_file& operator=(const largest_file&) = delete;

  // Relative to the root: the names below it, joined by "/".
  std::string_view path() const { return {reinterpret_cast<const char*>(this) + sizeof(largest_file), path_length_}; }
  uint64_t bytes() const { return bytes_; }
  int64_t modified() const { return modified_; }  // seconds since 1970, UTC
  uint32_t owner() const { return owner_; }
  // Where its directory's pages are, once that directory is counted:
  // whether it has pages, and its node's number.
  bool placed() const { return placed_; }
  bool directory_has_pages() const { return directory_has_pages_; }
  uint64_t directory_id() const { return directory_id_; }

 private:
  friend class largest_file_ref;
  friend class largest_files;

  largest_file(size_t path_length, uint64_t bytes, int64_t modified, uint32_t owner)
      : owner_(owner), bytes_(bytes), modified_(modified), path_length_(static_cast<uint32_t>(path_length)) {}

  std::atomic<uint32_t> references_{1};
  uint32_t owner_;
  uint64_t bytes_;
  int64_t modified_;
  uint64_t directory_id_ = 0;
  uint32_t path_length_;
  bool placed_ = false;
  bool directory_has_pages_ = false;
};

// A counted reference to a largest file.
class largest_file_ref {
 public:
  largest_file_ref() = default;
  // A new file, referred to once.
  static largest_file_ref make(std::string_view path, uint64_t bytes, int64_t modified, uint32_t owner);
  largest_file_ref(const largest_file_ref& other) : file_(other.file_) { hold(); }
  largest_file_ref(largest_file_ref&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}
  largest_file_ref& operator=(largest_file_ref other) noexcept {
    std::swap(file_, other.file_);
    return *this;
  }
  ~largest_file_ref() { release(); }

  const largest_file* operator->() const { return file_; }
  const largest_file& operator*() const { return *file_; }
  const largest_file* get() const { return file_; }

 private:
  friend class largest_files;
  explicit largest_file_ref(largest_file* file) : file_(file) {}
  void hold() const {
    if (file_ != nullptr) file_->references_.fetch_add(1, std::memory_order_relaxed);
  }
  void release();

  largest_file* file_ = nullptr;
};

// The largest files first, ties by path in byte order.
bool ranks_before(const largest_file& a, const largest_file& b);

// The at most `limit` largest regular files of a directory or a subtree,
// in ranking order.
class largest_files {
 public:
  largest_files() = default;
  explicit largest_files(uint32_t limit) : limit_(limit) {}

  uint32_t limit() const { return limit_; }
  // Whether a file of so many bytes may rank: most files cost this
  // comparison and no more, not even their path.
  bool could_rank(uint64_t bytes) const {
    return files_.size() < limit_ || (limit_ > 0 && bytes >= files_.back()->bytes());
  }
  // Ranks a regular file; an entry is made only for one that ranks.
  void rank(std::string_view path, uint64_t bytes, int64_t modified, uint32_t owner);
  // The other's files join these; the longer limit holds.
  void merge(const largest_files& other);
  // The directory these belong to is counted: those of its own files, all
  // not placed before, learn where its pages are.
  void place_own_files(uint64_t directory_id, bool has_pages) const;

  std::span<const largest_file_ref> files() const { return files_; }
  bool empty() const { return files_.empty(); }
  void clear() { files_.clear(); }
  void shrink_to_fit() { files_.shrink_to_fit(); }
  size_t footprint() const;

 private:
  uint32_t limit_ = 0;
  std::vector<largest_file_ref> files_;
};

// The at most `limit` largest regular files of one directory while it is
// read, by name: their entries are made once the walk knows the
// directory's path, and only for those that stay.
class largest_candidates {
 public:
  struct candidate {
    uint64_t bytes;
    int64_t modified;
    uint32_t owner;
    uint32_t name_start;
    uint32_t name_length;
  };

  void reset(uint32_t limit);
  void offer(std::string_view name, uint64_t bytes, int64_t modified, uint32_t owner);
  std::span<const candidate> candidates() const { return candidates_; }
  std::string_view name(const candidate& of) const {
    return std::string_view(names_).substr(of.name_start, of.name_length);
  }
  size_t footprint() const { return candidates_.capacity() * sizeof(candidate) + names_.capacity(); }

 private:
  // Whether the first would rank after the second in one directory.
  bool ranks_after(const candidate& a, const candidate& b) const;
  void find_last();

  uint32_t limit_ = 0;
  std::vector<candidate> candidates_;
  size_t last_ = 0;  // the one that ranks last, while there are `limit_`
  // The candidates' names, and those of candidates pushed out, until they
  // take more room than the others.
  std::string names_;
  size_t live_name_bytes_ = 0;
};

}  // namespace quern
