#pragma once

#include <cstddef>
#include <mutex>

#include "tree/directory_node.h"

namespace quern {

// The writer of a directory's pages sorts its subdirectories in place,
// while the writer of its parent's treemap may read them to draw the level
// below: each holds the directory's lock meanwhile. Directories share a
// lock by their number; no writer holds two at once.
class directory_locks {
 public:
  std::mutex& of(const directory_node& node) { return stripes_[node.id() % kStripes]; }

 private:
  static constexpr size_t kStripes = 256;
  std::mutex stripes_[kStripes];
};

}  // namespace quern
