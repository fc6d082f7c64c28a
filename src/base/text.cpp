#include "base/text.h"

#include <cstdarg>
#include <cstdio>

namespace quern {

void append_vformat(std::string& out, const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return;
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(length) + 1);
  std::vsnprintf(out.data() + start, static_cast<size_t>(length) + 1, format, args);
  out.resize(start + static_cast<size_t>(length));
}

void append_format(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  append_vformat(out, format, args);
  va_end(args);
}

void append_decimal(std::string& out, int64_t value) {
  char digits[24];
  char* end = digits + sizeof digits;
  char* p = end;
  // Work on the magnitude as unsigned so that the smallest value is exact.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  out.append(p, static_cast<size_t>(end - p));
}

void generate_dotted(std::string& digits) {
  const std::ptrdiff_t length = static_cast<std::ptrdiff_t>(digits.size());
  // A sign stays in front of the first group, never a dot.
  const std::ptrdiff_t first_digit = digits.starts_with('-') ? 1 : 0;
  // Positions are taken from the original length; inserting to the right of
  // the next position keeps them valid.
  for (std::ptrdiff_t p = length - 3; p > first_digit; p -= 3) digits.insert(static_cast<size_t>(p), 1, '.');
}

std::string dotted(int64_t value) {
  std::string text;
  append_decimal(text, value);
  generate_dotted(text);
  return text;
}

std::string dotted(const byte_total& value) {
  std::string text;
  append_decimal(text, value);
  generate_dotted(text);
  return text;
}

std::string dotted_change(const byte_change& change) {
  std::string text = dotted(change.magnitude);
  if (change.magnitude != byte_total()) text.insert(text.begin(), change.negative ? '-' : '+');
  return text;
}

void append_html_escaped(std::string& out, std::string_view text) {
  size_t plain_start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char* entity = nullptr;
    switch (text[i]) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '"': entity = "&quot;"; break;
      default: continue;
    }
    out.append(text.data() + plain_start, i - plain_start);
    out.append(entity);
    plain_start = i + 1;
  }
  out.append(text.data() + plain_start, text.size() - plain_start);
}

size_t utf8_sequence(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    // No overlong forms and no surrogates.
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    // Nothing overlong and nothing beyond U+10FFFF.
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 0;
  }
  if (text.size() - at < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xbf) return 0;
  }
  return length;
}

}  // namespace quern
