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

}  // namespace quern
