#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace quern {

// A sum of sizes. One entry is at most 2^63 - 1 bytes, but a directory can
// hold many of them, and a tree many more: sums are kept in 128 bits, which
// no count of entries times their largest size can exceed. Two 64-bit words
// rather than one 128-bit field, so that a directory record keeps 8-byte
// alignment and costs no padding.
class byte_total {
 public:
  constexpr byte_total() = default;
  constexpr explicit byte_total(uint64_t bytes) : low_(bytes) {}
  static constexpr byte_total from_words(uint64_t high, uint64_t low) {
    byte_total value(low);
    value.high_ = high;
    return value;
  }

  // Every sum of the program goes through these.
  void add(uint64_t bytes) {
    low_ += bytes;
    high_ += low_ < bytes ? 1 : 0;
  }
  void add(const byte_total& other) {
    add(other.low_);
    high_ += other.high_;
  }
  byte_total& operator+=(const byte_total& other) {
    add(other);
    return *this;
  }
  friend byte_total operator+(byte_total a, const byte_total& b) { return a += b; }

  // The words, most significant first in comparisons.
  uint64_t low() const { return low_; }
  uint64_t high() const { return high_; }

  friend bool operator==(const byte_total&, const byte_total&) = default;
  friend std::strong_ordering operator<=>(const byte_total& a, const byte_total& b) {
    if (a.high_ != b.high_) return a.high_ <=> b.high_;
    return a.low_ <=> b.low_;
  }

 private:
  uint64_t low_ = 0;
  uint64_t high_ = 0;
};

// The difference of two sums, with its sign: what a figure changed by.
struct byte_change {
  bool negative = false;
  byte_total magnitude;

  static byte_change between(const byte_total& before, const byte_total& after);
  friend bool operator==(const byte_change&, const byte_change&) = default;
  friend std::strong_ordering operator<=>(const byte_change& a, const byte_change& b);
};

// The part's share of the whole in tenths of a percent, half a tenth
// rounded up: 1000 for all of it. Exact for any sums, also where the part
// times a thousand would not fit in 128 bits. The whole is not zero.
uint64_t share_in_tenths_of_a_percent(const byte_total& part, const byte_total& whole);

// How many bits the sum takes: 0 for nothing, 128 for the largest.
int bit_width(const byte_total& value);
// The sum divided by two to the power of shift (below 128), rounded down;
// the caller has chosen shift so that the result fits in 64 bits.
uint64_t shifted_down(const byte_total& value, int shift);

// Decimal digits of the sum, as "%llu" would print a wide enough value.
void append_decimal(std::string& out, const byte_total& value);

// Decimal digits of a summary's field back into a sum; false for anything
// but one to 39 digits that fit.
bool parse_decimal(std::string_view text, byte_total& value);

}  // namespace quern
