#pragma once

#include <string>
#include <string_view>

#include "base/byte_total.h"

namespace quern {

// Share bars: beside a row's bytes, a bar as long as its share of the
// directory's bytes. Drawn from whole tenths of a percent, so that every
// build writes the same bytes.

// The part's share of the whole in percent, with one decimal after a
// decimal comma, half a tenth rounded up: "33,3 %", "0,1 %" for 1 of
// 2000; "&ndash;" where the whole is nothing.
std::string share_text(const byte_total& part, const byte_total& whole);

// The cell of the overview's share column: the bar and the share, "47,3 %",
// "&lt; 0,1 %" for a part that rounds to nothing but is not nothing, and
// "&ndash;" without a bar where the whole is nothing.
std::string overview_share_cell(const byte_total& part, const byte_total& whole);

// A bar for the part of the whole, put before a share text written
// elsewhere; nothing where the whole is nothing.
void append_share_bar(std::string& cell, const byte_total& part, const byte_total& whole);

// The style sheet's rules for the bars and for the marks of incomplete
// figures, which only reports with pictures have.
std::string_view picture_rules();

}  // namespace quern
