#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_total.h"

namespace quern {

// The names "." and "..", which stand for a directory and its parent in
// every listing and path, and never for an entry of their own.
constexpr bool is_dot_or_dot_dot(std::string_view name) { return name == "." || name == ".."; }

// printf-style formatting into a string sized to fit.
void append_vformat(std::string& out, const char* format, va_list args) __attribute__((format(printf, 2, 0)));
void append_format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Decimal text of a signed 64-bit value, as "%lld" prints it.
void append_decimal(std::string& out, int64_t value);

// Puts a "." between groups of three digits, counted from the right, in place;
// a leading minus sign stays in front of the first group.
void generate_dotted(std::string& digits);

// Decimal text of the value with its digit groups separated by dots.
std::string dotted(int64_t value);
std::string dotted(const byte_total& value);

// A change, grouped like every figure and signed: "+1.234", "-12", "0".
std::string dotted_change(const byte_change& change);

// Appends the text with &, <, > and " written as entities; every other byte,
// including bytes above 127, is copied unchanged.
void append_html_escaped(std::string& out, std::string_view text);

// The length of the valid UTF-8 sequence the bytes at `at` begin with, 0
// when they begin with none (or with a byte below 0x80, which stands for
// itself).
size_t utf8_sequence(std::string_view text, size_t at);

}  // namespace quern
