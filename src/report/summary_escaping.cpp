#include "report/summary_escaping.h"

#include "base/text.h"

namespace quern {

namespace {

// The length of the valid UTF-8 sequence the bytes begin with, 0 when they
// begin with none (or with a byte below 0x80, which stands for itself).
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

bool stands_for_itself(unsigned char c) { return c >= 0x20 && c < 0x7f && c != '\\' && c != '#'; }

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The bytes an escaped text stands for, if `escape` spells them exactly so.
bool unescaped_as(std::string_view text, std::string& out, void (*escape)(std::string&, std::string_view)) {
  out.clear();
  bool escapes = false;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\\') {
      out.push_back(text[at]);
      continue;
    }
    escapes = true;
    if (++at == text.size()) return false;
    switch (text[at]) {
      case '\\': out.push_back('\\'); break;
      case 't': out.push_back('\t'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 'x': {
        if (text.size() - at < 3) return false;
        const int high = hex_digit(text[at + 1]);
        const int low = hex_digit(text[at + 2]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<char>(high * 16 + low));
        at += 2;
        break;
      }
      default: return false;
    }
  }
  // Most names need no escape: then only their bytes need a look.
  std::string again;
  if (!escapes) {
    escape(again, text);
    return again.size() == text.size();
  }
  escape(again, out);
  return again == text;
}

}  // namespace

void append_summary_escaped(std::string& out, std::string_view text) {
  size_t plain = 0;  // where the bytes not yet appended begin
  for (size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (stands_for_itself(c)) {
      ++at;
      continue;
    }
    if (c >= 0x80) {
      if (const size_t length = utf8_sequence(text, at); length > 0) {
        at += length;
        continue;
      }
    }
    out.append(text.data() + plain, at - plain);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: append_format(out, "\\x%02x", c); break;
    }
    plain = ++at;
  }
  out.append(text.data() + plain, text.size() - plain);
}

void append_owner_escaped(std::string& out, std::string_view name) {
  size_t plain = 0;
  for (size_t at = 0; at < name.size(); ++at) {
    const char c = name[at];
    if (c != '=' && c != ',' && c != '/') continue;
    append_summary_escaped(out, name.substr(plain, at - plain));
    append_format(out, "\\x%02x", static_cast<unsigned char>(c));
    plain = at + 1;
  }
  append_summary_escaped(out, name.substr(plain));
}

bool summary_unescaped(std::string_view text, std::string& out) {
  return unescaped_as(text, out, append_summary_escaped);
}

bool owner_unescaped(std::string_view text, std::string& out) { return unescaped_as(text, out, append_owner_escaped); }

}  // namespace quern
