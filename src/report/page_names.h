#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "report/figures.h"
#include "tree/directory_node.h"

namespace quern {

// A page is named by its directory's node identifier and the key of the
// order of its rows: "d17_sb.html". Every file name and every link is
// formed here, so that they always agree.

// A key is "s" and one small letter. The scan passes over pages by this
// form, so that pages of orders added later are passed over as well.
inline constexpr size_t kPageKeyLength = 2;
constexpr bool is_page_key(std::string_view key) {
  return key.size() == kPageKeyLength && key[0] == 's' && key[1] >= 'a' && key[1] <= 'z';
}

// The key of the pages sorted by the figure, or, with none, by name.
inline constexpr std::string_view kNamePageKey = "sn";

// The key of the pages sorted by the change of bytes since an earlier
// report.
inline constexpr std::string_view kGrowthPageKey = "sg";

// Appends the file name, relative to the output directory, of the node's
// page with the key. Returns where in `out` the key begins, so that a link
// can be turned to another order by overwriting it.
size_t append_page_name(std::string& out, const directory_node* node, std::string_view key);
// The same for the node of that number, which may be gone by now.
size_t append_page_name(std::string& out, uint64_t node_number, std::string_view key);

// Appends the file name of the node's treemap, which its pages embed:
// "d17.svg".
void append_picture_name(std::string& out, const directory_node* node);

// Whether the name is of the form append_page_name gives, for any key, or
// of the form append_picture_name gives.
bool is_page_name(std::string_view name);

}  // namespace quern
