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
// subtrees have one key or a few, so a sorted vector is all it takes, and a
// single key takes no storage of its own.
class keyed_figures {
 public:
  // Counts one entry, or only bytes with files 0, for the key.
  void add(uint32_t key, uint64_t bytes, int64_t files);
  void merge(const keyed_figures& other);
  // The same, taking over the other's storage where this holds nothing yet.
  void merge(keyed_figures&& other);

  std::span<const keyed_share> shares() const {
    return many_.empty() ? std::span<const keyed_share>(&one_, single_ ? 1 : 0) : many_;
  }
  bool empty() const { return shares().empty(); }
  void clear() {
    single_ = false;
    many_.clear();
  }
  size_t footprint() const { return many_.capacity() * sizeof(keyed_share); }

 private:
  std::span<keyed_share> writable() { return many_.empty() ? std::span<keyed_share>(&one_, single_ ? 1 : 0) : many_; }

  // The key while there is only one; from a second on, all are in many_.
  keyed_share one_;
  bool single_ = false;
  std::vector<keyed_share> many_;
};

}  // namespace quern
