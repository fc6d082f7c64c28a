#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// Reads a fuzzer's bytes as the values a target builds its case from. An
// exhausted input reads as zeros, so every input is a valid case.
class fuzz_input {
 public:
  fuzz_input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return offset_ >= size_; }
  size_t left() const { return empty() ? 0 : size_ - offset_; }

  uint8_t byte() { return empty() ? 0 : data_[offset_++]; }

  uint64_t u64() {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 8) value |= static_cast<uint64_t>(byte()) << shift;
    return value;
  }

  // Up to length bytes, fewer at the end of the input.
  std::string_view bytes(size_t length) {
    if (length > left()) length = left();
    const std::string_view taken(reinterpret_cast<const char*>(data_) + offset_, length);
    offset_ += length;
    return taken;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

// A broken promise is a finding: say which and end as a crash does, so that
// the fuzzer keeps the input.
inline void require(bool kept, const char* promise) {
  if (kept) return;
  std::fprintf(stderr, "broken: %s\n", promise);
  std::abort();
}
