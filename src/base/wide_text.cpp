#include "base/wide_text.h"

#include <cstdint>

namespace quern {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool is_high_surrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void append_utf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

void append_utf16(std::wstring& out, uint32_t code) {
  if (code < 0x10000) {
    out.push_back(static_cast<wchar_t>(code));
    return;
  }
  code -= 0x10000;
  out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
  out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
}

// The code point of the sequence at `at` and its length, or U+FFFD and 1.
// Overlong forms and values beyond U+10FFFF are refused; surrogates are
// accepted, as narrow() writes them.
uint32_t decode(std::string_view text, size_t at, size_t& length) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  length = 1;
  if (lead < 0x80) return lead;
  size_t needed;
  uint32_t code;
  uint32_t smallest;
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 2, code = lead & 0x1F, smallest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 3, code = lead & 0x0F, smallest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 4, code = lead & 0x07, smallest = 0x10000;
  } else {
    return kReplacement;
  }
  if (text.size() - at < needed) return kReplacement;
  for (size_t i = 1; i < needed; ++i) {
    if (!is_continuation(byte(i))) return kReplacement;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if (code < smallest || code > 0x10FFFF) return kReplacement;
  length = needed;
  return code;
}

}  // namespace

std::string narrow(std::wstring_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t code = static_cast<uint32_t>(units[i]);
    if (is_high_surrogate(code) && i + 1 < units.size() && is_low_surrogate(static_cast<uint32_t>(units[i + 1]))) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(units[i + 1]) - 0xDC00);
      ++i;
    }
    append_utf8(out, code);
  }
  return out;
}

std::wstring widen(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    size_t length;
    append_utf16(out, decode(text, at, length));
    at += length;
  }
  return out;
}

}  // namespace quern
