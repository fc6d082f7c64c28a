#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "platform/file_system.h"
#include "report/summary_format.h"

namespace quern {

// Why a summary was not taken, and at which line of it (from 1).
struct summary_problem {
  uint64_t line = 0;
  const char* reason = nullptr;
};

// An earlier summary, read whole and checked before anything is written,
// then kept compactly: the file's bytes as read and, per directory line,
// where it begins and links to its first child and its next sibling; a
// table of line indices finds a directory by its escaped path. The figures
// of a line are parsed only when asked for. Nothing changes once it is
// taken, so that writers of pages on several threads read it at once.
class old_summary {
 public:
  // No directory line.
  static constexpr uint32_t kNone = UINT32_MAX;

  old_summary();
  ~old_summary();
  old_summary(const old_summary&) = delete;
  old_summary& operator=(const old_summary&) = delete;

  // Takes the summary from the input, read to its end. False when the
  // input cannot be read (`failure`), or when it is not a summary, of an
  // unknown version or damaged (`problem`).
  bool take(input_file& input, status& failure, summary_problem& problem);

  const summary_header& header() const { return header_; }
  // Whether its bytes and this run's measure the same: both the length, or
  // both the space on the disk. Told once, before pages are written; until
  // then they do.
  void set_bytes_compare(bool compare) { bytes_compare_ = compare; }
  bool bytes_compare() const { return bytes_compare_; }
  // Directory lines, numbered from 0 in the order of the file.
  uint32_t directories() const { return static_cast<uint32_t>(lines_.size()); }
  uint32_t find(std::string_view escaped_path) const;
  // The line's escaped path, and its last name ("." for the root).
  std::string_view path(uint32_t line) const;
  std::string_view name(uint32_t line) const;
  uint32_t first_child(uint32_t line) const { return lines_[line].first_child; }
  uint32_t next_sibling(uint32_t line) const { return lines_[line].next_sibling; }
  summary_figures figures(uint32_t line) const;
  // The owners of the line's subtree; false where the summary has none
  // kept for it.
  bool owners(uint32_t line, std::vector<summary_owner>& owners) const;
  // The same for the ages of the line's subtree.
  bool ages(uint32_t line, std::vector<summary_age>& ages) const;

 private:
  struct line_index {
    const char* text;  // up to its LF
    uint32_t first_child;
    uint32_t next_sibling;
  };
  struct reading;

  bool take_line(reading& state, std::string_view line, summary_problem& problem);
  bool take_header_line(reading& state, std::string_view line);
  bool take_columns(const reading& state, std::string_view line);
  bool take_directory(reading& state, std::string_view line);
  bool link_directories(uint64_t first_line_number, summary_problem& problem);
  static std::string_view field(const char* text, size_t column);
  static uint64_t hash(std::string_view escaped_path);

  summary_header header_;
  bool bytes_compare_ = true;
  // Where each known column stands in a line; the count of all columns.
  size_t column_of_[kSummaryColumnCount] = {};
  size_t columns_ = 0;
  // The known column at each position of a line, or -1.
  std::vector<int8_t> known_at_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  // In pieces, so that growing never holds the lines twice.
  std::deque<line_index> lines_;
  std::vector<uint32_t> slots_;  // a power of two of them, at most three quarters used
};

// Reads OLD, an output directory (its summary.txt) or a summary file, for
// a comparison. On failure the result is null and `message` says, in a
// line, what is wrong, naming the file and, for its content, the line.
std::unique_ptr<old_summary> read_old_summary(file_system& files, const std::string& old, std::string& message);

}  // namespace quern
