#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_total.h"
#include "report/figures.h"
#include "tree/directory_node.h"

namespace quern {

// A summary is a text file of a report's figures, one line per directory,
// that standard tools read and that a later run compares itself with.
// Lines end with LF. The header's lines begin with '#': the format and its
// version, then a key, a tab and a value each. Then the names of the
// columns, tab-separated; readers find columns by name and pass over those
// they do not know, so that later versions can add columns. Then one line
// per directory, and last "#end", a tab and the number of those lines, so
// that a file cut short is recognised.

inline constexpr std::string_view kSummaryFirstLine = "#quern-summary 1";
inline constexpr std::string_view kSummaryVersionPrefix = "#quern-summary ";
inline constexpr std::string_view kSummaryEndKey = "#end";
// The summary beside the pages in an output directory.
inline constexpr std::string_view kSummaryFileName = "summary.txt";

// The header's keys, in the order written.
inline constexpr std::string_view kSummaryRootKey = "#root";
inline constexpr std::string_view kSummaryBegunKey = "#begun";
inline constexpr std::string_view kSummarySourceKey = "#source";
inline constexpr std::string_view kSummaryOptionsKey = "#options";
inline constexpr std::string_view kSummaryScopeKey = "#scope";

// The columns, in the order written: the path relative to the root, then
// each figure over the whole subtree and directly in the directory, the gap
// marks, whether every subdirectory has a line of its own and, only in
// summaries of reports that show them, the owners and the ages of the
// subtree.
struct summary_column {
  enum class kind : uint8_t { path, total, own, gaps, listed, owners, ages };
  kind is;
  figure_index of;  // for a figure's columns
  std::string_view name;
};

constexpr auto summary_columns() {
  std::array<summary_column, 5 + 2 * kFigureCount> columns{};
  size_t at = 0;
  columns[at++] = {summary_column::kind::path, kBytes, "path"};
  for (size_t index = 0; index < kFigureCount; ++index) {
    const auto f = static_cast<figure_index>(index);
    columns[at++] = {summary_column::kind::total, f, kFigures[index].name};
    columns[at++] = {summary_column::kind::own, f, kFigures[index].own_name};
  }
  columns[at++] = {summary_column::kind::gaps, kBytes, "gaps"};
  columns[at++] = {summary_column::kind::listed, kBytes, "listed"};
  columns[at++] = {summary_column::kind::owners, kBytes, "owners"};
  columns[at++] = {summary_column::kind::ages, kBytes, "ages"};
  return columns;
}
inline constexpr auto kSummaryColumns = summary_columns();
inline constexpr size_t kSummaryColumnCount = kSummaryColumns.size();
inline constexpr size_t kPathColumn = 0;
inline constexpr size_t kOwnersColumn = kSummaryColumnCount - 2;
inline constexpr size_t kAgesColumn = kSummaryColumnCount - 1;

// What a summary says of a run, its values unescaped.
struct summary_header {
  std::string root;     // as given
  std::string begun;    // UTC, "2026-12-07T09:16:31Z"
  std::string source;   // "scan" or "listing"
  std::string options;  // those that change figures or which directories have lines
  std::string scope;    // "report" or "full"
  bool owners = false;  // whether the lines have the owners column
  bool ages = false;    // and the ages column

  friend bool operator==(const summary_header&, const summary_header&) = default;
};

inline constexpr std::string_view kScopeReport = "report";
inline constexpr std::string_view kScopeFull = "full";

// The figures of one directory line, by figure.
struct summary_figures {
  byte_total total[kFigureCount];
  byte_total own[kFigureCount];
  uint8_t gaps = 0;  // the node's gap flags
  bool listed = false;

  friend bool operator==(const summary_figures&, const summary_figures&) = default;
};

summary_figures figures_of(const directory_node& node, bool listed);

// Appends the node's path relative to the root, each name escaped and "/"
// between them; "." for the root.
void append_summary_path(std::string& out, const directory_node& node);

// "ISO 8601 in UTC" of the time, as the header's #begun holds it; for the
// years -32767 to 32767, which the clock of any run falls in.
std::string summary_time(int64_t seconds_since_epoch);
// Whether the text is a time in that form.
bool is_summary_time(std::string_view text);

// The gap flags as letters: "u" unread here, "x" not entered, "b"
// something below unread, in that order; "-" for none.
void append_gap_letters(std::string& out, uint8_t gaps);
bool parse_gap_letters(std::string_view text, uint8_t& gaps);

// A count as a line holds it: decimal digits without leading zeros.
bool parse_count(std::string_view text, int64_t& value);
// A sum of bytes, likewise.
bool parse_bytes(std::string_view text, byte_total& value);

// The header's lines and the column names' line.
void append_summary_header(std::string& out, const summary_header& header);

// What one owner holds in a subtree, as the owners column gives it.
struct summary_owner {
  std::string name;  // as the pages show it, not escaped
  byte_total bytes;
  int64_t files = 0;

  friend bool operator==(const summary_owner&, const summary_owner&) = default;
};

// The owners column's value where the line's directory has no figures per
// owner kept; an empty value is a subtree without owners.
inline constexpr std::string_view kOwnersNotKept = "?";

// Appends the owners column's value: an entry "name=bytes/files" per owner,
// joined by ",", the most bytes first and ties by name in byte order. A name
// is escaped as append_summary_escaped escapes it and, besides, "=", ","
// and "/" as "\x3d", "\x2c" and "\x2f", so that the value splits at
// those characters. Owners of the same name are one entry. Sorts `owners`.
void append_summary_owners(std::string& out, std::vector<summary_owner>& owners);

// The owners of a value that append_summary_owners gives exactly: names not
// empty, each once, spelled as it spells them, in its order, numbers
// without leading zeros.
bool parse_summary_owners(std::string_view text, std::vector<summary_owner>& owners);

// What the entries of one age class hold in a subtree, as the ages column
// gives it.
struct summary_age {
  enum class kind : uint8_t { later, year, older };
  kind is = kind::year;
  int64_t year = 0;  // of a year's class
  byte_total bytes;
  int64_t files = 0;
  friend bool operator==(const summary_age&, const summary_age&) = default;
};

// The ages column's value where the line's directory has none kept; an
// empty value is a subtree without entries.
inline constexpr std::string_view kAgesNotKept = "?";

// Appends the ages column's value: an entry "later=bytes/files",
// "YYYY=bytes/files" or "older=bytes/files" per class, newest first, joined
// by ",".
void append_summary_ages(std::string& out, const std::vector<summary_age>& ages);
// The classes of a value that append_summary_ages gives exactly: each
// once, in its order, numbers without leading zeros.
bool parse_summary_ages(std::string_view text, std::vector<summary_age>& ages);

// One directory's line: its escaped path and its figures, and where the
// summary has the owners or ages column, that column's value.
void append_summary_line(std::string& out, std::string_view escaped_path, const summary_figures& figures,
                         std::optional<std::string_view> owners = std::nullopt,
                         std::optional<std::string_view> ages = std::nullopt);

// The closing line.
void append_summary_end(std::string& out, uint64_t lines);

}  // namespace quern
