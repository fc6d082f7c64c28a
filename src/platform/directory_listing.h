#pragma once

#include "base/status.h"
#include "platform/file_system.h"

namespace quern {

// Reads the names of an open directory one batch at a time, in the order
// the system delivers them. The listing owns the descriptor and closes it;
// meanwhile it serves for calls relative to the directory. Where names are
// read through a stream, the stream takes this descriptor instead of a copy,
// so that an open directory costs one descriptor, as the scan's budget
// counts it.
class directory_listing {
 public:
  explicit directory_listing(int descriptor) : descriptor_(descriptor) {}
  ~directory_listing();
  directory_listing(const directory_listing&) = delete;
  directory_listing& operator=(const directory_listing&) = delete;

  int descriptor() const { return descriptor_; }

  // Appends the next batch of names; none once the listing has ended.
  status read_names(name_list& names);

 private:
  int descriptor_;
  [[maybe_unused]] void* stream_ = nullptr;  // for platforms that list through a stream
};

}  // namespace quern
