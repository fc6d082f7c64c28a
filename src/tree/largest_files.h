#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quern {

// One regular file among the largest of some subtree. The same entry is
// shared by the lists of every directory above it that it ranks in.
struct largest_file {
  // Relative to the root: the names below it, joined by "/".
  std::string path;
  uint64_t bytes = 0;
  int64_t modified = 0;  // seconds since 1970, UTC
  uint32_t owner = 0;
  // Where its directory's pages are, once that directory is counted:
  // whether it has pages, and its node's number.
  bool placed = false;
  bool directory_has_pages = false;
  uint64_t directory_id = 0;
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
  // Ranks a regular file; an entry is made only for one that ranks, so
  // that most files cost a comparison.
  void rank(std::string_view path, uint64_t bytes, int64_t modified, uint32_t owner);
  // The other's files join these; the longer limit holds.
  void merge(const largest_files& other);
  // The directory these belong to is counted: those of its own files, all
  // not placed before, learn where its pages are.
  void place_own_files(uint64_t directory_id, bool has_pages) const;

  std::span<const std::shared_ptr<largest_file>> files() const { return files_; }
  bool empty() const { return files_.empty(); }
  void clear() { files_.clear(); }
  size_t footprint() const;

 private:
  void offer(std::shared_ptr<largest_file> file);

  uint32_t limit_ = 0;
  std::vector<std::shared_ptr<largest_file>> files_;
};

}  // namespace quern
