#include "report/old_summary.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/refusal_reasons.h"
#include "base/text.h"
#include "base/text_hash.h"
#include "report/summary_escaping.h"

namespace quern {

namespace {

// The file is read into blocks of this size; a line never straddles two.
constexpr size_t kBlockBytes = 256 * 1024;

constexpr std::string_view kHeaderKeys[] = {kSummaryRootKey, kSummaryBegunKey, kSummarySourceKey, kSummaryOptionsKey,
                                            kSummaryScopeKey};

// The field that begins at `at` ends at the next tab or at the line's end.
std::string_view next_field(std::string_view line, size_t& at) {
  const size_t begin = at;
  const size_t tab = line.find('\t', begin);
  const size_t end = tab == std::string_view::npos ? line.size() : tab;
  at = end + 1;
  return line.substr(begin, end - begin);
}

// A path is "." for the root, or names joined by "/".
bool is_relative_path(std::string_view path) {
  if (path == ".") return true;
  for (size_t at = 0; at <= path.size();) {
    const size_t slash = std::min(path.find('/', at), path.size());
    const std::string_view name = path.substr(at, slash - at);
    if (name.empty() || is_dot_or_dot_dot(name)) return false;
    at = slash + 1;
  }
  return true;
}

// A figure as its column holds it: a sum of bytes, or a count.
bool parse_figure(figure_index of, std::string_view text, byte_total& value) {
  if (kFigures[of].sums_bytes) return parse_bytes(text, value);
  int64_t count = 0;
  if (!parse_count(text, count)) return false;
  value = as_total(count);
  return true;
}

// Whether a field holds what its column says, spelled as it is written.
bool valid_field(const summary_column& column, std::string_view text, std::string& unescaped,
                 std::vector<summary_owner>& owners, std::vector<summary_age>& ages) {
  byte_total figure;
  uint8_t gaps = 0;
  switch (column.is) {
    case summary_column::kind::path: return summary_unescaped(text, unescaped) && is_relative_path(text);
    case summary_column::kind::total:
    case summary_column::kind::own: return parse_figure(column.of, text, figure);
    case summary_column::kind::gaps: return parse_gap_letters(text, gaps);
    case summary_column::kind::listed: return text == "0" || text == "1";
    case summary_column::kind::owners: return text == kOwnersNotKept || parse_summary_owners(text, owners);
    case summary_column::kind::ages: return text == kAgesNotKept || parse_summary_ages(text, ages);
  }
  return false;
}

std::string_view parent_path(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? "." : path.substr(0, slash);
}

}  // namespace

struct old_summary::reading {
  enum class part { first, header, directories, ended };
  part at = part::first;
  uint64_t number = 0;  // of the line being taken
  uint64_t first_directory = 0;
  bool seen[std::size(kHeaderKeys)] = {};
  std::string unescaped;
  std::vector<summary_owner> owners;
  std::vector<summary_age> ages;
};

old_summary::old_summary() = default;
old_summary::~old_summary() = default;

bool old_summary::take(input_file& input, status& failure, summary_problem& problem) {
  reading state;
  size_t size = kBlockBytes;
  std::unique_ptr<char[]> block(new char[size]);
  size_t start = 0;  // of the line not yet complete
  size_t end = 0;    // of the bytes read
  for (;;) {
    if (end == size) {
      // The line not yet complete moves to a new block, which a long line
      // makes larger; the block it leaves keeps the lines before it.
      const size_t partial = end - start;
      const size_t grown = std::max(kBlockBytes, 2 * partial);
      std::unique_ptr<char[]> next(new char[grown]);
      std::memcpy(next.get(), block.get() + start, partial);
      if (start > 0) blocks_.push_back(std::move(block));
      block = std::move(next);
      size = grown;
      start = 0;
      end = partial;
    }
    size_t got = 0;
    failure = input.read(block.get() + end, size - end, got);
    if (!failure.is_ok()) return false;
    if (got == 0) break;
    size_t from = end;
    end += got;
    while (const void* found = std::memchr(block.get() + from, '\n', end - from)) {
      const size_t stop = static_cast<size_t>(static_cast<const char*>(found) - block.get());
      ++state.number;
      if (!take_line(state, std::string_view(block.get() + start, stop - start), problem)) return false;
      start = from = stop + 1;
    }
    // Anything but a summary is given up at its first bytes, however long.
    const std::string_view pending(block.get() + start, end - start);
    if (state.at == reading::part::first && pending.size() >= kSummaryVersionPrefix.size() &&
        !pending.starts_with(kSummaryVersionPrefix)) {
      problem = {1, refusal::kNotSummary};
      return false;
    }
  }
  blocks_.push_back(std::move(block));
  if (start < end) {
    // A last line without its end: the file was cut short.
    ++state.number;
    if (state.at == reading::part::first &&
        !take_line(state, std::string_view(blocks_.back().get() + start, end - start), problem))
      return false;
    problem = {state.number, state.at == reading::part::ended ? refusal::kMalformed : refusal::kEndMissing};
    return false;
  }
  if (state.at == reading::part::first) {
    problem = {1, refusal::kNotSummary};
    return false;
  }
  if (state.at != reading::part::ended) {
    problem = {state.number, refusal::kEndMissing};
    return false;
  }
  return link_directories(state.first_directory, problem);
}

bool old_summary::take_line(reading& state, std::string_view line, summary_problem& problem) {
  const auto bad = [&](const char* reason) {
    problem = {state.number, reason};
    return false;
  };
  switch (state.at) {
    case reading::part::first:
      if (!line.starts_with(kSummaryVersionPrefix)) return bad(refusal::kNotSummary);
      if (line != kSummaryFirstLine) return bad(refusal::kUnknownVersion);
      state.at = reading::part::header;
      return true;
    case reading::part::header:
      if (line.starts_with('#')) return take_header_line(state, line) || bad(refusal::kMalformed);
      if (!take_columns(state, line)) return bad(refusal::kMalformed);
      state.at = reading::part::directories;
      state.first_directory = state.number + 1;
      return true;
    case reading::part::directories: {
      if (line.starts_with('#')) {
        size_t at = 0;
        if (next_field(line, at) != kSummaryEndKey) return bad(refusal::kMalformed);
        int64_t count = 0;
        if (at > line.size() || !parse_count(line.substr(at), count) || static_cast<uint64_t>(count) != lines_.size())
          return bad(refusal::kEndWrong);
        state.at = reading::part::ended;
        return true;
      }
      if (lines_.size() == kNone - 1 || !take_directory(state, line)) return bad(refusal::kMalformed);
      return true;
    }
    case reading::part::ended: break;
  }
  // Nothing may follow the closing line.
  return bad(refusal::kMalformed);
}

bool old_summary::take_header_line(reading& state, std::string_view line) {
  size_t at = 0;
  const std::string_view key = next_field(line, at);
  const auto known = std::find(std::begin(kHeaderKeys), std::end(kHeaderKeys), key);
  // Keys of later versions are passed over.
  if (known == std::end(kHeaderKeys)) return true;
  bool& seen = state.seen[known - std::begin(kHeaderKeys)];
  if (seen || at > line.size()) return false;
  seen = true;
  const std::string_view value = line.substr(at);
  if (key == kSummaryRootKey) return summary_unescaped(value, header_.root);
  if (key == kSummaryOptionsKey) return summary_unescaped(value, header_.options);
  if (key == kSummaryBegunKey) {
    header_.begun = value;
    return is_summary_time(value);
  }
  if (key == kSummarySourceKey) {
    header_.source = value;
    return value == "scan" || value == "listing";
  }
  header_.scope = value;
  return value == kScopeReport || value == kScopeFull;
}

bool old_summary::take_columns(const reading& state, std::string_view line) {
  if (std::find(std::begin(state.seen), std::end(state.seen), false) != std::end(state.seen)) return false;
  bool found[kSummaryColumnCount] = {};
  for (size_t at = 0; at <= line.size();) {
    const std::string_view name = next_field(line, at);
    if (name.empty()) return false;
    const auto known = std::find_if(kSummaryColumns.begin(), kSummaryColumns.end(),
                                    [name](const summary_column& c) { return c.name == name; });
    int column = -1;
    if (known != kSummaryColumns.end()) {
      column = static_cast<int>(known - kSummaryColumns.begin());
      if (found[column]) return false;
      found[column] = true;
      column_of_[column] = known_at_.size();
    }
    known_at_.push_back(static_cast<int8_t>(column));
  }
  columns_ = known_at_.size();
  // Summaries of reports without owners or ages have no column for them.
  header_.owners = found[kOwnersColumn];
  found[kOwnersColumn] = true;
  header_.ages = found[kAgesColumn];
  found[kAgesColumn] = true;
  return std::find(std::begin(found), std::end(found), false) == std::end(found);
}

bool old_summary::take_directory(reading& state, std::string_view line) {
  size_t column = 0;
  for (size_t at = 0; at <= line.size(); ++column) {
    const std::string_view text = next_field(line, at);
    if (column == columns_) return false;
    if (known_at_[column] >= 0 && !valid_field(kSummaryColumns[static_cast<size_t>(known_at_[column])], text,
                                               state.unescaped, state.owners, state.ages))
      return false;
  }
  if (column != columns_) return false;
  lines_.push_back({line.data(), kNone, kNone});
  return true;
}

uint64_t old_summary::hash(std::string_view escaped_path) { return hash_text(escaped_path, 0x9e3779b97f4a7c15ULL); }

bool old_summary::link_directories(uint64_t first_line_number, summary_problem& problem) {
  slots_.assign(std::bit_ceil(std::max<size_t>(lines_.size() + lines_.size() / 3 + 1, 16)), kNone);
  const size_t mask = slots_.size() - 1;
  for (uint32_t line = 0; line < lines_.size(); ++line) {
    const std::string_view key = path(line);
    size_t at = hash(key) & mask;
    for (; slots_[at] != kNone; at = (at + 1) & mask) {
      if (path(slots_[at]) == key) {
        problem = {first_line_number + line, refusal::kListedTwice};
        return false;
      }
    }
    slots_[at] = line;
  }
  if (find(".") == kNone) {
    problem = {first_line_number + lines_.size(), refusal::kNoRoot};
    return false;
  }
  // Backwards, so that each directory's children are linked in the file's order.
  for (uint32_t line = directories(); line-- > 0;) {
    const std::string_view own = path(line);
    if (own == ".") continue;
    const uint32_t parent = find(parent_path(own));
    if (parent == kNone) {
      problem = {first_line_number + line, refusal::kNoParent};
      return false;
    }
    lines_[line].next_sibling = lines_[parent].first_child;
    lines_[parent].first_child = line;
  }
  return true;
}

uint32_t old_summary::find(std::string_view escaped_path) const {
  if (slots_.empty()) return kNone;
  const size_t mask = slots_.size() - 1;
  for (size_t at = hash(escaped_path) & mask; slots_[at] != kNone; at = (at + 1) & mask) {
    if (path(slots_[at]) == escaped_path) return slots_[at];
  }
  return kNone;
}

std::string_view old_summary::field(const char* text, size_t column) {
  // Every line has all its fields and ends with its LF in the block it was
  // read into.
  for (size_t skipped = 0; skipped < column; ++skipped) {
    while (*text != '\t') ++text;
    ++text;
  }
  const char* end = text;
  while (*end != '\t' && *end != '\n') ++end;
  return std::string_view(text, static_cast<size_t>(end - text));
}

std::string_view old_summary::path(uint32_t line) const { return field(lines_[line].text, column_of_[kPathColumn]); }

std::string_view old_summary::name(uint32_t line) const {
  const std::string_view full = path(line);
  return full.substr(full.rfind('/') + 1);
}

summary_figures old_summary::figures(uint32_t line) const {
  summary_figures figures;
  const char* text = lines_[line].text;
  const char* end = text;
  while (*end != '\n') ++end;
  const std::string_view whole(text, static_cast<size_t>(end - text));
  size_t at = 0;
  for (size_t column = 0; column < columns_; ++column) {
    const std::string_view value = next_field(whole, at);
    if (known_at_[column] < 0) continue;
    const summary_column& meaning = kSummaryColumns[static_cast<size_t>(known_at_[column])];
    switch (meaning.is) {
      case summary_column::kind::total: parse_figure(meaning.of, value, figures.total[meaning.of]); break;
      case summary_column::kind::own: parse_figure(meaning.of, value, figures.own[meaning.of]); break;
      case summary_column::kind::gaps: parse_gap_letters(value, figures.gaps); break;
      case summary_column::kind::listed: figures.listed = value == "1"; break;
      default: break;
    }
  }
  return figures;
}

bool old_summary::owners(uint32_t line, std::vector<summary_owner>& owners) const {
  owners.clear();
  if (!header_.owners) return false;
  const std::string_view value = field(lines_[line].text, column_of_[kOwnersColumn]);
  return value != kOwnersNotKept && parse_summary_owners(value, owners);
}

bool old_summary::ages(uint32_t line, std::vector<summary_age>& ages) const {
  ages.clear();
  if (!header_.ages) return false;
  const std::string_view value = field(lines_[line].text, column_of_[kAgesColumn]);
  return value != kAgesNotKept && parse_summary_ages(value, ages);
}

std::unique_ptr<old_summary> read_old_summary(file_system& files, const std::string& old, std::string& message) {
  std::string path = old;
  {
    std::unique_ptr<open_directory> directory;
    if (files.open_directory_at_path(old, directory).is_ok()) {
      if (!path.ends_with('/')) path += '/';
      path += kSummaryFileName;
    }
  }
  std::unique_ptr<input_file> input;
  status failure = files.open_input_file(path, input);
  summary_problem problem;
  auto summary = std::make_unique<old_summary>();
  if (failure.is_ok() && summary->take(*input, failure, problem)) return summary;
  message = "Vergleich mit " + path + " nicht moeglich";
  if (!failure.is_ok()) {
    message += ": ";
    message += failure.description();
  } else {
    message += ", Zeile " + std::to_string(problem.line) + ": " + problem.reason;
  }
  message += "\r\n";
  return nullptr;
}

}  // namespace quern
