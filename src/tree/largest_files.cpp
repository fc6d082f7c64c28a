#include "tree/largest_files.h"

#include <algorithm>

namespace quern {

bool ranks_before(const largest_file& a, const largest_file& b) {
  if (a.bytes != b.bytes) return a.bytes > b.bytes;
  return a.path < b.path;
}

namespace {

bool shared_ranks_before(const std::shared_ptr<largest_file>& a, const std::shared_ptr<largest_file>& b) {
  return ranks_before(*a, *b);
}

}  // namespace

void largest_files::rank(std::string_view path, uint64_t bytes, int64_t modified, uint32_t owner) {
  if (files_.size() == limit_ && (limit_ == 0 || bytes < files_.back()->bytes)) return;
  auto file = std::make_shared<largest_file>();
  file->path = path;
  file->bytes = bytes;
  file->modified = modified;
  file->owner = owner;
  offer(std::move(file));
}

void largest_files::place_own_files(uint64_t directory_id, bool has_pages) const {
  for (const std::shared_ptr<largest_file>& file : files_) {
    if (file->placed) continue;
    file->placed = true;
    file->directory_has_pages = has_pages;
    file->directory_id = directory_id;
  }
}

void largest_files::offer(std::shared_ptr<largest_file> file) {
  const auto at = std::upper_bound(files_.begin(), files_.end(), file, shared_ranks_before);
  if (static_cast<size_t>(at - files_.begin()) >= limit_) return;
  if (files_.size() == limit_) files_.pop_back();
  files_.insert(std::upper_bound(files_.begin(), files_.end(), file, shared_ranks_before), std::move(file));
}

void largest_files::merge(const largest_files& other) {
  limit_ = std::max(limit_, other.limit_);
  if (other.files_.empty()) return;
  if (files_.empty()) {
    files_ = other.files_;
    return;
  }
  std::vector<std::shared_ptr<largest_file>> merged;
  merged.reserve(std::min<size_t>(limit_, files_.size() + other.files_.size()));
  auto left = files_.begin();
  auto right = other.files_.begin();
  while (merged.size() < limit_ && (left != files_.end() || right != other.files_.end())) {
    if (right == other.files_.end() || (left != files_.end() && !ranks_before(**right, **left))) {
      merged.push_back(*left++);
    } else {
      merged.push_back(*right++);
    }
  }
  files_.swap(merged);
}

size_t largest_files::footprint() const {
  size_t bytes = files_.capacity() * sizeof(std::shared_ptr<largest_file>);
  for (const auto& file : files_) {
    // Counted whole wherever it is listed: an upper bound.
    bytes += sizeof(largest_file) + file->path.capacity();
  }
  return bytes;
}

}  // namespace quern
