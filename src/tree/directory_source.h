#pragma once

#include <cstddef>

#include "base/status.h"
#include "tree/directory_reader.h"

namespace quern {

// Where the walk gets the contents of the directories it enters, depth
// first: the root, then subdirectories of the deepest entered directory in
// listing order, each left when its subtree is done.
class directory_source {
 public:
  virtual ~directory_source() = default;
  // Opens and reads the root (name null) or the subdirectory `name` of the
  // deepest entered directory, its `ordinal`-th subdirectory entry. On
  // success it becomes the deepest entered directory and `contents` stays
  // valid until it is left.
  virtual status enter(const char* name, size_t ordinal, const directory_contents*& contents) = 0;
  // The deepest entered directory has been walked completely.
  virtual void leave() = 0;
};

}  // namespace quern
