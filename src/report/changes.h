#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/byte_total.h"
#include "report/figures.h"
#include "report/old_summary.h"
#include "tree/directory_node.h"

namespace quern {

// Figures marked so, on either side, fall short of what is there: no change
// is known for them.
inline constexpr uint8_t kIncomplete = kGapUnread | kGapBelow;

// How a directory of this report stands to the earlier one.
struct earlier_entry {
  enum class kind : uint8_t {
    unknown,  // the earlier report did not reach it
    added,    // it was not there, though every subdirectory of its parent was
    present,
  };
  kind is = kind::unknown;
  uint32_t line = old_summary::kNone;
};

// What a directory's totals changed by since the earlier report. Unknown
// where the earlier report did not reach the directory, or where either
// side's figures are incomplete (something unread in it or below it): no
// change is shown rather than a wrong one.
// The counts compare where the bytes do not: between a report of lengths
// and one of the space on the disk.
struct totals_change {
  bool known = false;
  bool bytes_known = false;
  byte_change of[kFigureCount];  // by figure

  bool knows(size_t figure) const { return known && (bytes_known || !kFigures[figure].sums_bytes); }
};

// Finds a directory of this report in the earlier one by its path.
earlier_entry find_earlier(const old_summary& old, const directory_node& node);

totals_change change_since(const old_summary& old, earlier_entry earlier, const directory_node& now);

// The change of a subdirectory that is gone: its earlier figures, negated.
totals_change change_of_removed(const old_summary& old, uint32_t line);

// The earlier subdirectories of one directory of this report, found by
// name, so that each of today's learns where it stands and those that are
// gone can be told.
class earlier_subdirectories {
 public:
  earlier_subdirectories(const old_summary& old, earlier_entry parent, const directory_node& now);

  // Where the subdirectory of this name stands; it is no longer gone.
  earlier_entry find(std::string_view name);

  // The earlier lines of the subdirectories not found, in the order of
  // their escaped names. None where today's directory could not be read whole,
  // which may have left out subdirectories that are still there.
  std::vector<uint32_t> gone() const;

 private:
  earlier_entry parent_;
  bool listed_ = false;  // every earlier subdirectory has a line
  bool complete_now_ = false;
  // Escaped names and their lines, sorted by name; a line is made kNone
  // once found.
  std::vector<std::pair<std::string_view, uint32_t>> by_name_;
  std::string escaped_;
};

}  // namespace quern
