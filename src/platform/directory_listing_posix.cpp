#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/directory_listing.h"

namespace quern {

namespace {

// Names handed out per call, so that a huge directory is never held whole.
constexpr size_t kBatchNames = 1024;

}  // namespace

directory_listing::~directory_listing() {
  if (stream_ != nullptr) ::closedir(static_cast<DIR*>(stream_));
}

status directory_listing::read_names(name_list& names) {
  if (stream_ == nullptr) {
    // The stream takes a descriptor of its own, so the caller's stays open.
    const int copy = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return status::from_errno();
    stream_ = ::fdopendir(copy);
    if (stream_ == nullptr) {
      const status failure = status::from_errno();
      ::close(copy);
      return failure;
    }
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
