#include <unistd.h>

#include <cerrno>

#include "base/output_descriptor.h"

namespace quern {

void write_fully(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

}  // namespace quern
