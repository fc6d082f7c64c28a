// Small helpers shared by the benchmark tools; they stay free of quern_core
// so that the floors measure the system, not the project's code.
#pragma once

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace bench {

// xoshiro256** seeded through splitmix64: the standard library's
// distributions differ between implementations, and a seed must name the
// same tree everywhere.
class random_source {
 public:
  explicit random_source(std::uint64_t seed) {
    for (auto& word : state_) {
      seed += 0x9e3779b97f4a7c15ULL;
      std::uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
      word = z ^ (z >> 31);
    }
  }

  std::uint64_t next() {
    const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotl(state_[3], 45);
    return result;
  }

  // The modulo bias is far below anything a benchmark tree can show.
  std::uint64_t below(std::uint64_t bound) { return bound == 0 ? 0 : next() % bound; }
  std::uint64_t between(std::uint64_t low, std::uint64_t high) { return low + below(high - low + 1); }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double open_unit() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1.0p-53; }
  bool chance(double probability) { return unit() < probability; }
  // Pareto with the given shape, at least 1: a few large draws among many small.
  double pareto(double shape) { return std::pow(open_unit(), -1.0 / shape); }

  double normal() { return std::sqrt(-2.0 * std::log(open_unit())) * std::cos(6.283185307179586 * unit()); }

 private:
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<std::uint64_t, 4> state_{};
};

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
