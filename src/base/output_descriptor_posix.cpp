#include <unistd.h>

#include <cerrno>

#include "base/output_descriptor.h"

namespace quern {

status write_fully(int descriptor, std::string_view bytes) noexcept {
  const int saved_errno = errno;
  status result;
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      result = status::from_errno();
      break;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  errno = saved_errno;
  return result;
}

}  // namespace quern
