#include "base/byte_total.h"

namespace quern {

namespace {

// Arithmetic beyond adding is done in the compiler's 128-bit type; the
// extension keyword keeps pedantic builds quiet about it.
__extension__ typedef unsigned __int128 wide;

wide widen(const byte_total& value) { return static_cast<wide>(value.high()) << 64 | value.low(); }

byte_total narrow(wide value) {
  return byte_total::from_words(static_cast<uint64_t>(value >> 64), static_cast<uint64_t>(value));
}

}  // namespace

byte_change byte_change::between(const byte_total& before, const byte_total& after) {
  if (after >= before) return {false, narrow(widen(after) - widen(before))};
  return {true, narrow(widen(before) - widen(after))};
}

std::strong_ordering operator<=>(const byte_change& a, const byte_change& b) {
  if (a.negative != b.negative) return a.negative ? std::strong_ordering::less : std::strong_ordering::greater;
  return a.negative ? b.magnitude <=> a.magnitude : a.magnitude <=> b.magnitude;
}

uint64_t share_in_tenths_of_a_percent(const byte_total& part, const byte_total& whole) {
  const wide all = widen(whole);
  wide rest = widen(part);
  // Tenths of a percent, one decimal digit at a time, since the part times
  // a thousand may not fit: each digit is the remainder times ten over the
  // whole, found by adding up the remainder ten times, which may wrap
  // beyond 128 bits only where the true sum exceeds the whole.
  uint64_t tenths = static_cast<uint64_t>(rest / all);
  rest %= all;
  for (int digit = 0; digit < 3; ++digit) {
    uint64_t next = 0;
    wide sum = 0;
    for (int times = 0; times < 10; ++times) {
      const wide before = sum;
      sum += rest;
      if (sum < before || sum >= all) {
        sum -= all;
        ++next;
      }
    }
    tenths = tenths * 10 + next;
    rest = sum;
  }
  if (rest >= all - rest) ++tenths;  // half a tenth or more
  return tenths;
}

int bit_width(const byte_total& value) {
  int width = 0;
  for (wide rest = widen(value); rest != 0; rest >>= 1) ++width;
  return width;
}

uint64_t shifted_down(const byte_total& value, int shift) { return static_cast<uint64_t>(widen(value) >> shift); }

void append_decimal(std::string& out, const byte_total& value) {
  char digits[40];
  char* const end = digits + sizeof digits;
  char* p = end;
  wide rest = widen(value);
  do {
    *--p = static_cast<char>('0' + static_cast<int>(rest % 10));
    rest /= 10;
  } while (rest != 0);
  out.append(p, static_cast<size_t>(end - p));
}

bool parse_decimal(std::string_view text, byte_total& value) {
  if (text.empty() || text.size() > 39) return false;
  constexpr wide kMost = ~wide{0};
  wide result = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<unsigned>(c - '0');
    if (result > (kMost - digit) / 10) return false;
    result = result * 10 + digit;
  }
  value = narrow(result);
  return true;
}

}  // namespace quern
