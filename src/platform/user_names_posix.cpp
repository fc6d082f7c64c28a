#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/user_names.h"

namespace quern {

namespace {

// No entry needs more; a database that keeps asking for more is not asked
// further.
constexpr size_t kLargestEntry = size_t{1} << 20;

}  // namespace

std::optional<std::string> user_name(uint32_t user) {
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024);
  for (;;) {
    struct passwd entry;
    struct passwd* found = nullptr;
    const int error = ::getpwuid_r(static_cast<uid_t>(user), &entry, buffer.data(), buffer.size(), &found);
    if (error == EINTR) continue;
    if (error == ERANGE && buffer.size() < kLargestEntry) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr || entry.pw_name == nullptr || entry.pw_name[0] == '\0') return std::nullopt;
    return std::string(entry.pw_name);
  }
}

bool platform_knows_owners() { return true; }

}  // namespace quern
