#include "tree/keyed_figures.h"

#include <algorithm>

namespace quern {

namespace {

bool by_key(const keyed_share& a, const keyed_share& b) { return a.key < b.key; }

}  // namespace

void keyed_figures::add(uint32_t key, uint64_t bytes, int64_t files) {
  // Entries of one key mostly come in runs.
  auto at = shares_.end();
  if (shares_.empty() || shares_.back().key != key) {
    const keyed_share wanted{key};
    at = std::lower_bound(shares_.begin(), shares_.end(), wanted, by_key);
    if (at == shares_.end() || at->key != key) at = shares_.insert(at, wanted);
  } else {
    --at;
  }
  at->files += files;
  at->bytes.add(bytes);
}

void keyed_figures::merge(const keyed_figures& other) {
  if (empty()) {
    *this = other;
    return;
  }
  const std::span<keyed_share> mine = shares_;
  const std::span<const keyed_share> theirs = other.shares();
  // A subtree mostly has no key that the directory above it lacks; then
  // the shares are added in place and no storage is taken.
  if (std::includes(mine.begin(), mine.end(), theirs.begin(), theirs.end(), by_key)) {
    auto at = mine.begin();
    for (const keyed_share& share : theirs) {
      at = std::lower_bound(at, mine.end(), share, by_key);
      at->files += share.files;
      at->bytes += share.bytes;
    }
    return;
  }
  std::vector<keyed_share> merged;
  merged.reserve(mine.size() + theirs.size());
  auto left = mine.begin();
  auto right = theirs.begin();
  while (left != mine.end() || right != theirs.end()) {
    if (right == theirs.end() || (left != mine.end() && left->key < right->key)) {
      merged.push_back(*left++);
    } else if (left == mine.end() || right->key < left->key) {
      merged.push_back(*right++);
    } else {
      keyed_share sum = *left++;
      sum.files += right->files;
      sum.bytes += right->bytes;
      ++right;
      merged.push_back(sum);
    }
  }
  shares_.swap(merged);
}

void keyed_figures::merge(keyed_figures&& other) {
  if (empty()) {
    *this = std::move(other);
    return;
  }
  merge(static_cast<const keyed_figures&>(other));
}

}  // namespace quern
