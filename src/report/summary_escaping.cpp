#include "report/summary_escaping.h"

#include "base/text.h"

namespace quern {

namespace {

bool stands_for_itself(unsigned char c) { return c >= 0x20 && c < 0x7f && c != '\\' && c != '#'; }

void append_hex_escape(std::string& out, unsigned char c) { append_format(out, "\\x%02x", c); }

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

size_t append_xml_escaped(std::string& out, std::string_view text) {
  size_t shown = 0;
  for (size_t at = 0; at < text.size(); ++shown) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (const size_t length = utf8_sequence(text, at); length > 0) {
      // U+FFFE and U+FFFF are no characters of XML.
      const bool noncharacter = length == 3 && c == 0xef && static_cast<unsigned char>(text[at + 1]) == 0xbf &&
                                static_cast<unsigned char>(text[at + 2]) >= 0xbe;
      if (!noncharacter) {
        out.append(text, at, length);
        at += length;
        continue;
      }
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\\':
        out += "\\\\";
        ++shown;
        break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default:
        if (c >= 0x20 && c < 0x7f) {
          out.push_back(static_cast<char>(c));
        } else {
          append_hex_escape(out, c);
          shown += 3;
        }
    }
    ++at;
  }
  return shown;
}

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
