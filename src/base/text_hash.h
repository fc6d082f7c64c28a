#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace quern {

// A fast hash of a text for the tables that find names in memory, eight
// bytes at a time; the seed tells apart equal texts of different owners.
inline uint64_t hash_text(std::string_view text, uint64_t seed) {
  uint64_t h = seed;
  size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    h = (h ^ word) * 0xff51afd7ed558ccdULL;
    h ^= h >> 32;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, text.data() + at, text.size() - at);
  h = (h ^ tail ^ (static_cast<uint64_t>(text.size()) << 56)) * 0xc4ceb9fe1a85ec53ULL;
  return h ^ (h >> 29);
}

}  // namespace quern
