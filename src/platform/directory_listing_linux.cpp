#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "platform/directory_listing.h"

namespace quern {

namespace {

// The kernel's record, read straight from the descriptor: no stream to set
// up per directory, and one call fills the buffer with many entries.
struct linux_dirent64 {
  uint64_t d_ino;
  int64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[1];
};

constexpr size_t kBufferBytes = 64 * 1024;

}  // namespace

directory_listing::~directory_listing() { ::close(descriptor_); }

status directory_listing::read_names(name_list& names) {
  // One buffer per thread: names are copied out before the call returns.
  alignas(linux_dirent64) thread_local char buffer[kBufferBytes];
  const size_t before = names.size();
  while (names.size() == before) {
    const long filled = ::syscall(SYS_getdents64, descriptor_, buffer, sizeof buffer);
    if (filled == 0) return status::ok();
    if (filled < 0) {
      if (errno == EINTR) continue;
      return status::from_errno();
    }
    for (long offset = 0; offset < filled;) {
      const char* record = buffer + offset;
      const auto* header = reinterpret_cast<const linux_dirent64*>(record);
      // A record without an inode is a deleted entry; readdir passes over it too.
      if (header->d_ino != 0) {
        const char* name = record + offsetof(linux_dirent64, d_name);
        names.add(std::string_view(name, std::strlen(name)));
      }
      offset += header->d_reclen;
    }
  }
  return status::ok();
}

}  // namespace quern
