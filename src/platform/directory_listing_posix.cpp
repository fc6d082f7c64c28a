#include <dirent.h>
#include <unistd.h>

#include "platform/directory_listing.h"

namespace quern {

namespace {

// Names handed out per call, so that a huge directory is never held whole.
constexpr size_t kBatchNames = 1024;

}  // namespace

directory_listing::~directory_listing() {
  if (stream_ != nullptr) {
    ::closedir(static_cast<DIR*>(stream_));
  } else {
    ::close(descriptor_);
  }
}

status directory_listing::read_names(name_list& names) {
  if (stream_ == nullptr) {
    // From here on the descriptor belongs to the stream; calls relative to
    // it, which change nothing the stream relies on, stay allowed.
    stream_ = ::fdopendir(descriptor_);
    if (stream_ == nullptr) return status::from_errno();
  }
  DIR* stream = static_cast<DIR*>(stream_);
  for (size_t read = 0; read < kBatchNames; ++read) {
    errno = 0;
    const dirent* entry = ::readdir(stream);
    if (entry == nullptr) return errno != 0 ? status::from_errno() : status::ok();
    names.add(entry->d_name);
  }
  return status::ok();
}

}  // namespace quern
