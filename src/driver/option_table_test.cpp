#include "driver/option_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace quern {
namespace {

std::string source_file(const std::string& path) {
  std::ifstream in(std::string(QUERN_SOURCE_DIR) + "/" + path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The lines below the heading, up to the next heading of its level.
std::vector<std::string> section(const std::string& text, const std::string& heading, const std::string& next_heading) {
  const size_t begin = text.find("\n" + heading + "\n");
  if (begin == std::string::npos) return {};
  const size_t end = text.find("\n" + next_heading, begin + 1);
  std::istringstream in(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The tags of the manual page's options: each line after a .TP.
std::string manual_entries() {
  const std::vector<std::string> lines = section(source_file("doc/quern.1"), ".SH OPTIONEN", ".SH ");
  std::string tags;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i - 1] == ".TP") tags += lines[i] + "\n";
  }
  return tags;
}

// The first cells of the README's option table.
std::string readme_entries() {
  std::string cells;
  for (const std::string& line : section(source_file("README.md"), "## Command line", "## ")) {
    if (line.starts_with("| `")) cells += line.substr(0, line.find(" |")) + "\n";
  }
  return cells;
}

// Whether the text names the option as a whole, not as a part of a longer
// one: neither a letter, digit nor dash joins it on either side.
bool names_whole(const std::string& text, const std::string& spelling, const std::string& dash) {
  std::string written;
  for (const char c : spelling) written += c == '-' ? dash : std::string(1, c);
  const auto joins = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-'; };
  for (size_t at = text.find(written); at != std::string::npos; at = text.find(written, at + 1)) {
    const size_t after = at + written.size();
    if (at > 0 && joins(text[at - 1])) continue;
    if (after < text.size() && (joins(text[after]) || text.compare(after, dash.size(), dash) == 0)) continue;
    return true;
  }
  return false;
}

std::vector<std::string> spellings() {
  std::vector<std::string> all;
  for (const option_row& row : option_table()) {
    for (const char* spelling : row.spellings) {
      if (spelling != nullptr) all.push_back(spelling);
    }
  }
  return all;
}

TEST(OptionTable, EverySpellingNamesOneOptionAndEveryValueHasItsMissingMessage) {
  const std::vector<std::string> all = spellings();
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
  for (const option_row& row : option_table()) {
    EXPECT_EQ(row.take == nullptr, row.ends != reading_outcome::run) << row.spellings[0];
    EXPECT_EQ(row.missing != nullptr, row.value != nullptr || row.required) << row.spellings[0];
  }
}

// The fuzz target's model is written apart from the table; the manual page
// and the README describe each option to the user.
TEST(OptionTable, FuzzModelManualPageAndReadmeKnowEverySpelling) {
  const std::string model = source_file("fuzz/fuzz_command_line.cpp");
  const std::string manual = manual_entries();
  const std::string readme = readme_entries();
  ASSERT_FALSE(manual.empty());
  ASSERT_FALSE(readme.empty());
  for (const std::string& spelling : spellings()) {
    EXPECT_NE(model.find("\"" + spelling + "\""), std::string::npos) << spelling << " in the fuzz model";
    EXPECT_TRUE(names_whole(manual, spelling, "\\-")) << spelling << " in the manual page's options";
    EXPECT_TRUE(names_whole(readme, spelling, "-")) << spelling << " in the README's option table";
  }
}

}  // namespace
}  // namespace quern
