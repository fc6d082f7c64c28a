#include "report/changes.h"

#include <algorithm>

#include "report/summary_escaping.h"
#include "report/summary_format.h"

namespace quern {

namespace {

// Whether every subdirectory the earlier directory had has a line: it was
// listed, and read whole.
bool lists_all_subdirectories(const summary_figures& figures) {
  return figures.listed && (figures.gaps & (kGapUnread | kGapNotEntered)) == 0;
}

}  // namespace

earlier_entry find_earlier(const old_summary& old, const directory_node& node) {
  std::string path;
  append_summary_path(path, node);
  if (const uint32_t line = old.find(path); line != old_summary::kNone) return {earlier_entry::kind::present, line};
  // The nearest directory above that the earlier report has tells whether
  // the one below it on the way was new.
  std::string_view above = path;
  while (above != ".") {
    const size_t slash = above.rfind('/');
    above = slash == std::string_view::npos ? std::string_view(".") : above.substr(0, slash);
    if (const uint32_t line = old.find(above); line != old_summary::kNone) {
      return {lists_all_subdirectories(old.figures(line)) ? earlier_entry::kind::added : earlier_entry::kind::unknown,
              old_summary::kNone};
    }
  }
  return {};
}

totals_change change_since(const old_summary& old, earlier_entry earlier, const directory_node& now) {
  totals_change change;
  if (earlier.is == earlier_entry::kind::unknown || (now.gaps & kIncomplete) != 0) return change;
  summary_figures before;
  if (earlier.is == earlier_entry::kind::present) {
    before = old.figures(earlier.line);
    if ((before.gaps & kIncomplete) != 0) return change;
  }
  change.known = true;
  change.bytes_known = old.bytes_compare();
  for (size_t index = 0; index < kFigureCount; ++index)
    change.of[index] = byte_change::between(before.total[index], total_of(kFigures[index], now));
  return change;
}

totals_change change_of_removed(const old_summary& old, uint32_t line) {
  totals_change change;
  const summary_figures before = old.figures(line);
  if ((before.gaps & kIncomplete) != 0) return change;
  change.known = true;
  change.bytes_known = old.bytes_compare();
  for (size_t index = 0; index < kFigureCount; ++index)
    change.of[index] = byte_change::between(before.total[index], byte_total());
  return change;
}

earlier_subdirectories::earlier_subdirectories(const old_summary& old, earlier_entry parent, const directory_node& now)
    : parent_(parent), complete_now_((now.gaps & kGapUnread) == 0) {
  if (parent.is != earlier_entry::kind::present) return;
  listed_ = lists_all_subdirectories(old.figures(parent.line));
  for (uint32_t child = old.first_child(parent.line); child != old_summary::kNone; child = old.next_sibling(child))
    by_name_.emplace_back(old.name(child), child);
  std::sort(by_name_.begin(), by_name_.end());
}

earlier_entry earlier_subdirectories::find(std::string_view name) {
  if (parent_.is == earlier_entry::kind::added) return {earlier_entry::kind::added, old_summary::kNone};
  if (parent_.is == earlier_entry::kind::unknown) return {};
  escaped_.clear();
  append_summary_escaped(escaped_, name);
  const auto found = std::lower_bound(by_name_.begin(), by_name_.end(), std::string_view(escaped_),
                                      [](const auto& entry, std::string_view key) { return entry.first < key; });
  if (found != by_name_.end() && found->first == escaped_ && found->second != old_summary::kNone) {
    const uint32_t line = found->second;
    found->second = old_summary::kNone;
    return {earlier_entry::kind::present, line};
  }
  return {listed_ ? earlier_entry::kind::added : earlier_entry::kind::unknown, old_summary::kNone};
}

std::vector<uint32_t> earlier_subdirectories::gone() const {
  std::vector<uint32_t> lines;
  if (!complete_now_) return lines;
  for (const auto& [name, line] : by_name_) {
    if (line != old_summary::kNone) lines.push_back(line);
  }
  return lines;
}

}  // namespace quern
