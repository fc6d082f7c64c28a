#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/directory_listing.h"

namespace quern {

status list_directory(int descriptor, name_list& names) {
  // The stream takes a descriptor of its own, so the caller's stays open.
  const int copy = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return status::from_errno();
  DIR* stream = ::fdopendir(copy);
  if (stream == nullptr) {
    const status failure = status::from_errno();
    ::close(copy);
    return failure;
  }
  status result;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream);
    if (entry == nullptr) {
      if (errno != 0) result = status::from_errno();
      break;
    }
    names.add(entry->d_name);
  }
  ::closedir(stream);
  return result;
}

}  // namespace quern
