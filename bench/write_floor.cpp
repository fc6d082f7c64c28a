// The least work any report writer must do: create a directory and write N
// files holding B bytes in all, one open, one write and one close each.

#include "tool_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using bench::fail_errno;

void write_all(int fd, const char* data, std::uint64_t size, const char* name) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      fail_errno("cannot write", name);
    }
    data += written;
    size -= static_cast<std::uint64_t>(written);
  }
}

[[noreturn]] void usage() {
  std::fprintf(stderr, "usage: %s --files N --bytes B --out DIR\n", program_invocation_short_name);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
  bool have_files = false;
  bool have_bytes = false;
  std::string out;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) {
      usage();
    }
    if (arg == "--files") {
      files = bench::parse_u64(argv[++i], arg);
      have_files = true;
    } else if (arg == "--bytes") {
      bytes = bench::parse_u64(argv[++i], arg);
      have_bytes = true;
    } else if (arg == "--out") {
      out = argv[++i];
    } else {
      usage();
    }
  }
  if (!have_files || !have_bytes || out.empty() || (files == 0 && bytes != 0)) {
    usage();
  }

  if (mkdir(out.c_str(), 0755) != 0) {
    fail_errno("cannot create", out);
  }
  const int directory = open(out.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) {
    fail_errno("cannot open", out);
  }
  const std::uint64_t each = files == 0 ? 0 : bytes / files;
  const std::uint64_t remainder = files == 0 ? 0 : bytes % files;
  // One shared source buffer: page contents do not matter, only their size.
  const std::vector<char> content(each + (remainder != 0 ? 1 : 0), 'x');
  char name[32];
  for (std::uint64_t i = 0; i < files; ++i) {
    std::snprintf(name, sizeof name, "page%010llu.html", static_cast<unsigned long long>(i));
    const int fd = openat(directory, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      fail_errno("cannot create", out + "/" + name);
    }
    write_all(fd, content.data(), each + (i < remainder ? 1 : 0), name);
    close(fd);
  }
  close(directory);
  return 0;
}
