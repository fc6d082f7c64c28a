#pragma once

#include <string>
#include <string_view>

namespace quern {

// Names and other texts in a summary, escaped so that every line stays one
// line of printable text and every byte comes back as it was.

// Appends the bytes so that any byte survives the way there and back:
// "\\" for a backslash, "\t", "\n", "\r", and "\xhh" for every other byte
// below 0x20, for 0x7f, for '#' and for every byte that is not part of
// valid UTF-8; everything else as it is. Python's codecs.escape_decode
// undoes it exactly.
void append_summary_escaped(std::string& out, std::string_view text);

// The bytes an escaped text stands for. False unless the text is exactly
// what append_summary_escaped gives for them, so that every name has one
// spelling and escaped paths can be compared as they are.
bool summary_unescaped(std::string_view text, std::string& out);

// An owner's name in the owners column: escaped as above and, besides,
// "=", "," and "/" as "\x3d", "\x2c" and "\x2f", so that the column's
// value splits at those characters.
void append_owner_escaped(std::string& out, std::string_view name);
bool owner_unescaped(std::string_view text, std::string& out);

// A name in XML text or an attribute value: "&amp;", "&lt;", "&gt;",
// "&quot;" and "&apos;" for the markup characters; tab, line feed and
// carriage return as character references, so that no parser folds them;
// a backslash doubled; and, as above, "\xhh" for each byte that XML cannot
// carry: the other control bytes, 0x7f, bytes that are not part of valid
// UTF-8 and the sequences of U+FFFE and U+FFFF. Returns how many characters
// a reader sees, for the room the text takes.
size_t append_xml_escaped(std::string& out, std::string_view text);

}  // namespace quern
