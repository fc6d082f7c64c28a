// Small helpers shared by the benchmark tools; they stay free of quern_core
// so that the floors measure the system, not the project's code.
#pragma once

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace bench {

[[noreturn]] inline void fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.c_str());
  std::exit(1);
}

[[noreturn]] inline void fail_errno(const std::string& what, const std::string& path) {
  const int saved = errno;
  fail(what + " " + path + ": " + std::strerror(saved));
}

inline std::uint64_t parse_u64(std::string_view text, std::string_view option) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) {
    fail(std::string(option) + " expects a non-negative integer, got '" + std::string(text) + "'");
  }
  return value;
}

inline double parse_positive_double(const char* text, std::string_view option) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(value > 0.0)) {
    fail(std::string(option) + " expects a positive number, got '" + text + "'");
  }
  return value;
}

}  // namespace bench
