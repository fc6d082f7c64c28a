#include "report/summary_format.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "base/text.h"
#include "report/summary_escaping.h"

namespace quern {

namespace {

constexpr char kGapLetters[] = {'u', 'x', 'b'};
constexpr uint8_t kGapFlags[] = {kGapUnread, kGapNotEntered, kGapBelow};

void append_field(std::string& out, const byte_total& value) {
  out.push_back('\t');
  append_decimal(out, value);
}

bool owner_before(const summary_owner& a, const summary_owner& b) {
  if (a.bytes != b.bytes) return a.bytes > b.bytes;
  return a.name < b.name;
}

}  // namespace

summary_figures figures_of(const directory_node& node, bool listed) {
  summary_figures figures;
  for (size_t index = 0; index < kFigureCount; ++index) {
    figures.total[index] = total_of(kFigures[index], node);
    figures.own[index] = kFigures[index].own(node);
  }
  figures.gaps = node.gaps;
  figures.listed = listed;
  return figures;
}

void append_summary_path(std::string& out, const directory_node& node) {
  if (node.parent == nullptr) {
    out += '.';
    return;
  }
  std::vector<const directory_node*> chain;
  for (const directory_node* up = &node; up->parent != nullptr; up = up->parent) chain.push_back(up);
  for (auto name = chain.rbegin(); name != chain.rend(); ++name) {
    if (name != chain.rbegin()) out += '/';
    append_summary_escaped(out, (*name)->name);
  }
}

std::string summary_time(int64_t seconds_since_epoch) {
  using namespace std::chrono;
  const sys_seconds time{seconds(seconds_since_epoch)};
  const sys_days day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss<seconds> clock(time - day);
  std::string text;
  append_format(text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

bool is_summary_time(std::string_view text) {
  constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != kForm.size()) return false;
  for (size_t at = 0; at < kForm.size(); ++at) {
    if (kForm[at] == 'd' ? text[at] < '0' || text[at] > '9' : text[at] != kForm[at]) return false;
  }
  return true;
}

void append_gap_letters(std::string& out, uint8_t gaps) {
  if (gaps == 0) {
    out.push_back('-');
    return;
  }
  for (size_t i = 0; i < std::size(kGapLetters); ++i) {
    if ((gaps & kGapFlags[i]) != 0) out.push_back(kGapLetters[i]);
  }
}

bool parse_gap_letters(std::string_view text, uint8_t& gaps) {
  gaps = 0;
  if (text == "-") return true;
  size_t next = 0;  // letters stand in their order, each at most once
  for (const char c : text) {
    while (next < std::size(kGapLetters) && kGapLetters[next] != c) ++next;
    if (next == std::size(kGapLetters)) return false;
    gaps |= kGapFlags[next++];
  }
  return !text.empty();
}

bool parse_count(std::string_view text, int64_t& value) {
  if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
  uint64_t parsed = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + static_cast<uint64_t>(c - '0');
  }
  if (parsed > static_cast<uint64_t>(INT64_MAX)) return false;
  value = static_cast<int64_t>(parsed);
  return true;
}

bool parse_bytes(std::string_view text, byte_total& value) {
  return !(text.size() > 1 && text[0] == '0') && parse_decimal(text, value);
}

void append_summary_header(std::string& out, const summary_header& header) {
  out += kSummaryFirstLine;
  const auto line = [&out](std::string_view key, std::string_view value, bool escaped) {
    out += '\n';
    out += key;
    out += '\t';
    if (escaped) {
      append_summary_escaped(out, value);
    } else {
      out += value;
    }
  };
  line(kSummaryRootKey, header.root, true);
  line(kSummaryBegunKey, header.begun, false);
  line(kSummarySourceKey, header.source, false);
  line(kSummaryOptionsKey, header.options, true);
  line(kSummaryScopeKey, header.scope, false);
  out += '\n';
  for (size_t column = 0; column < kSummaryColumnCount; ++column) {
    if (column == kOwnersColumn && !header.owners) continue;
    if (column == kAgesColumn && !header.ages) continue;
    if (column > 0) out += '\t';
    out += kSummaryColumns[column].name;
  }
  out += '\n';
}

void append_summary_line(std::string& out, std::string_view escaped_path, const summary_figures& figures,
                         std::optional<std::string_view> owners, std::optional<std::string_view> ages) {
  out += escaped_path;
  for (size_t index = 0; index < kFigureCount; ++index) {
    append_field(out, figures.total[index]);
    append_field(out, figures.own[index]);
  }
  out += '\t';
  append_gap_letters(out, figures.gaps);
  out += figures.listed ? "\t1" : "\t0";
  if (owners) {
    out += '\t';
    out += *owners;
  }
  if (ages) {
    out += '\t';
    out += *ages;
  }
  out += '\n';
}

namespace {

// Hands each entry "key=bytes/files" of a column's value, entries joined by
// ",", to `take`; false at the first that is not of that form or that
// `take` refuses.
template <typename take_function>
bool take_entries(std::string_view text, const take_function& take) {
  if (text.empty()) return true;
  for (size_t at = 0; at <= text.size();) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string_view entry = text.substr(at, comma - at);
    at = comma + 1;
    const size_t equals = entry.find('=');
    const size_t slash = entry.find('/');
    if (equals == 0 || equals == std::string_view::npos || slash == std::string_view::npos || slash < equals)
      return false;
    byte_total bytes;
    int64_t files = 0;
    if (!parse_bytes(entry.substr(equals + 1, slash - equals - 1), bytes) ||
        !parse_count(entry.substr(slash + 1), files) || !take(entry.substr(0, equals), bytes, files))
      return false;
  }
  return true;
}

}  // namespace

namespace {

constexpr std::string_view kLaterKey = "later";
constexpr std::string_view kOlderKey = "older";

// Later first, then years from the newest, older last.
bool age_before(const summary_age& a, const summary_age& b) {
  if (a.is != b.is) return a.is < b.is;
  return a.is == summary_age::kind::year && a.year > b.year;
}

}  // namespace

void append_summary_ages(std::string& out, const std::vector<summary_age>& ages) {
  for (size_t at = 0; at < ages.size(); ++at) {
    const summary_age& age = ages[at];
    if (at > 0) out += ',';
    switch (age.is) {
      case summary_age::kind::later: out += kLaterKey; break;
      case summary_age::kind::year: append_decimal(out, age.year); break;
      case summary_age::kind::older: out += kOlderKey; break;
    }
    out += '=';
    append_decimal(out, age.bytes);
    out += '/';
    append_decimal(out, age.files);
  }
}

bool parse_summary_ages(std::string_view text, std::vector<summary_age>& ages) {
  ages.clear();
  return take_entries(text, [&ages](std::string_view key, const byte_total& bytes, int64_t files) {
    summary_age age{.bytes = bytes, .files = files};
    if (key == kLaterKey) {
      age.is = summary_age::kind::later;
    } else if (key == kOlderKey) {
      age.is = summary_age::kind::older;
    } else if (!parse_count(key, age.year)) {
      return false;
    }
    if (!ages.empty() && !age_before(ages.back(), age)) return false;
    ages.push_back(age);
    return true;
  });
}

void append_summary_owners(std::string& out, std::vector<summary_owner>& owners) {
  std::sort(owners.begin(), owners.end(),
            [](const summary_owner& a, const summary_owner& b) { return a.name < b.name; });
  // Owners are told apart by the name shown: two numbers of one name are
  // one owner.
  size_t kept = 0;
  for (size_t at = 0; at < owners.size(); ++at) {
    if (kept > 0 && owners[kept - 1].name == owners[at].name) {
      owners[kept - 1].bytes += owners[at].bytes;
      owners[kept - 1].files += owners[at].files;
    } else {
      if (kept != at) owners[kept] = std::move(owners[at]);
      ++kept;
    }
  }
  owners.resize(kept);
  std::sort(owners.begin(), owners.end(), owner_before);
  for (size_t at = 0; at < owners.size(); ++at) {
    if (at > 0) out += ',';
    append_owner_escaped(out, owners[at].name);
    out += '=';
    append_decimal(out, owners[at].bytes);
    out += '/';
    append_decimal(out, owners[at].files);
  }
}

bool parse_summary_owners(std::string_view text, std::vector<summary_owner>& owners) {
  owners.clear();
  const bool taken = take_entries(text, [&owners](std::string_view key, const byte_total& bytes, int64_t files) {
    summary_owner owner{.name = {}, .bytes = bytes, .files = files};
    if (!owner_unescaped(key, owner.name) || (!owners.empty() && !owner_before(owners.back(), owner))) return false;
    owners.push_back(std::move(owner));
    return true;
  });
  if (!taken) return false;
  // In order by bytes, a name given twice need not stand next to itself.
  if (owners.size() > 1) {
    std::vector<std::string_view> names;
    names.reserve(owners.size());
    for (const summary_owner& owner : owners) names.push_back(owner.name);
    std::sort(names.begin(), names.end());
    if (std::adjacent_find(names.begin(), names.end()) != names.end()) return false;
  }
  return true;
}

void append_summary_end(std::string& out, uint64_t lines) {
  out += kSummaryEndKey;
  out += '\t';
  append_decimal(out, static_cast<int64_t>(lines));
  out += '\n';
}

}  // namespace quern
