#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/byte_total.h"

namespace quern {

// What the entries of one key hold, where a key is an owner or an age
// class: bytes and files as the statistics table counts them, so that the
// keys of a directory add up to its totals.
struct keyed_share {
  uint32_t key = 0;
  int64_t files = 0;
  byte_total bytes = {};
};

// The shares of the keys present in a directory or a subtree, by key. Most
// subtrees have one key or a few, so a sorted vector is all it takes; every
// directory with pages keeps one per kind until its pages are written, so
// it is no larger than that.
class keyed_figures {
 public:
  // Counts one entry, or only bytes with files 0, for the key.
  void add(uint32_t key, uint64_t bytes, int64_t files);
  void merge(const keyed_figures& other);
  // The same, taking over the other's storage where this holds nothing yet.
  void merge(keyed_figures&& other);

  std::span<const keyed_share> shares() const { return shares_; }
  bool empty() const { return shares_.empty(); }
  void clear() { shares_.clear(); }
  void shrink_to_fit() { shares_.shrink_to_fit(); }
  size_t footprint() const { return shares_.capacity() * sizeof(keyed_share); }

 private:
  std::vector<keyed_share> shares_;
};

}  // namespace quern
