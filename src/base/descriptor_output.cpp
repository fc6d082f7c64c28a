#include "base/descriptor_output.h"

#include <unistd.h>

#include <cerrno>

namespace quern {

status write_fully(int descriptor, std::string_view bytes) noexcept {
  const int saved_errno = errno;
  status result;
  const char* data = bytes.data();
  size_t size = bytes.size();
  while (size > 0) {
    const ssize_t written = ::write(descriptor, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      result = status::from_errno();
      break;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  errno = saved_errno;
  return result;
}

}  // namespace quern
