#include "tree/largest_files.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quern {

largest_file_ref largest_file_ref::make(std::string_view path, uint64_t bytes, int64_t modified, uint32_t owner) {
  void* block = ::operator new(sizeof(largest_file) + path.size());
  auto* file = new (block) largest_file(path.size(), bytes, modified, owner);
  std::memcpy(static_cast<char*>(block) + sizeof(largest_file), path.data(), path.size());
  return largest_file_ref(file);
}

void largest_file_ref::release() {
  if (file_ == nullptr || file_->references_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  file_->~largest_file();
  ::operator delete(file_);
  file_ = nullptr;
}

bool ranks_before(const largest_file& a, const largest_file& b) {
  if (a.bytes() != b.bytes()) return a.bytes() > b.bytes();
  return a.path() < b.path();
}

namespace {

bool ref_ranks_before(const largest_file_ref& a, const largest_file_ref& b) { return ranks_before(*a, *b); }

}  // namespace

void largest_files::rank(std::string_view path, uint64_t bytes, int64_t modified, uint32_t owner) {
  if (!could_rank(bytes)) return;
  largest_file_ref file = largest_file_ref::make(path, bytes, modified, owner);
  const auto at =
      static_cast<size_t>(std::upper_bound(files_.begin(), files_.end(), file, ref_ranks_before) - files_.begin());
  if (at == limit_) return;
  if (files_.size() == limit_) files_.pop_back();
  files_.insert(files_.begin() + static_cast<std::ptrdiff_t>(at), std::move(file));
}

void largest_files::place_own_files(uint64_t directory_id, bool has_pages) const {
  for (const largest_file_ref& ref : files_) {
    largest_file* file = ref.file_;
    if (file->placed_) continue;
    file->placed_ = true;
    file->directory_has_pages_ = has_pages;
    file->directory_id_ = directory_id;
  }
}

void largest_files::merge(const largest_files& other) {
  limit_ = std::max(limit_, other.limit_);
  if (other.files_.empty()) return;
  if (files_.empty()) {
    files_ = other.files_;
    return;
  }
  std::vector<largest_file_ref> merged;
  merged.reserve(std::min<size_t>(limit_, files_.size() + other.files_.size()));
  auto left = files_.begin();
  auto right = other.files_.begin();
  while (merged.size() < limit_ && (left != files_.end() || right != other.files_.end())) {
    if (right == other.files_.end() || (left != files_.end() && !ranks_before(**right, **left))) {
      merged.push_back(std::move(*left++));
    } else {
      merged.push_back(*right++);
    }
  }
  files_.swap(merged);
}

void largest_candidates::reset(uint32_t limit) {
  limit_ = limit;
  candidates_.clear();
  names_.clear();
  live_name_bytes_ = 0;
  last_ = 0;
}

bool largest_candidates::ranks_after(const candidate& a, const candidate& b) const {
  if (a.bytes != b.bytes) return a.bytes < b.bytes;
  return name(a) > name(b);
}

void largest_candidates::find_last() {
  last_ = 0;
  for (size_t at = 1; at < candidates_.size(); ++at) {
    if (ranks_after(candidates_[at], candidates_[last_])) last_ = at;
  }
}

void largest_candidates::offer(std::string_view name, uint64_t bytes, int64_t modified, uint32_t owner) {
  if (limit_ == 0) return;
  const bool full = candidates_.size() == limit_;
  if (full && bytes < candidates_[last_].bytes) return;
  if (full && names_.size() > 2 * live_name_bytes_ + 4096) {
    std::string kept;
    kept.reserve(live_name_bytes_);
    for (candidate& stays : candidates_) {
      const std::string_view text = this->name(stays);
      stays.name_start = static_cast<uint32_t>(kept.size());
      kept.append(text);
    }
    names_.swap(kept);
  }
  const candidate offered{bytes, modified, owner, static_cast<uint32_t>(names_.size()),
                          static_cast<uint32_t>(name.size())};
  names_.append(name);
  if (!full) {
    candidates_.push_back(offered);
    live_name_bytes_ += name.size();
    if (candidates_.size() == limit_) find_last();
    return;
  }
  if (!ranks_after(candidates_[last_], offered)) {
    names_.resize(offered.name_start);
    return;
  }
  live_name_bytes_ += name.size() - candidates_[last_].name_length;
  candidates_[last_] = offered;
  find_last();
}

size_t largest_files::footprint() const {
  size_t bytes = files_.capacity() * sizeof(largest_file_ref);
  // Counted whole wherever it is listed: an upper bound.
  for (const largest_file_ref& file : files_) bytes += sizeof(largest_file) + file->path().size();
  return bytes;
}

}  // namespace quern
