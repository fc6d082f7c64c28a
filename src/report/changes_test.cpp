#include "report/changes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/text.h"
#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::add_node;

// An earlier summary of these directory lines: path, bytes, files, gaps
// and listed; the other figures zero.
std::unique_ptr<old_summary> earlier(const std::vector<std::vector<std::string>>& lines) {
  std::string text =
      "#quern-summary 1\n#root\t/r\n#begun\t2026-12-07T09:16:31Z\n#source\tscan\n#options\t\n#scope\treport\n"
      "path\tbytes\town_bytes\tfiles\town_files\tsubdirs\town_subdirs\tlinks\town_links\tothers\town_others\tgaps\t"
      "listed\n";
  for (const std::vector<std::string>& l : lines)
    text += l[0] + "\t" + l[1] + "\t0\t" + l[2] + "\t0\t3\t0\t0\t0\t0\t0\t" + l[3] + "\t" + l[4] + "\n";
  text += "#end\t" + std::to_string(lines.size()) + "\n";
  fake_file_system files;
  files.inputs["old"] = {text};
  std::string message;
  std::unique_ptr<old_summary> summary = read_old_summary(files, "old", message);
  EXPECT_NE(summary, nullptr) << message;
  return summary;
}

const char* kind_of(const earlier_entry& entry) {
  switch (entry.is) {
    case earlier_entry::kind::unknown: return "unknown";
    case earlier_entry::kind::added: return "added";
    case earlier_entry::kind::present: return "present";
  }
  return "";
}

std::string change_text(const totals_change& change) {
  if (!change.known) return "unknown";
  return dotted_change(change.bytes) + " " + dotted_change(change.files) + " " + dotted_change(change.subdirs);
}

struct today {
  diagnostics diag{verbosity::quiet, -1};
  directory_tree tree{diag};
  directory_node* root = add_node(tree, nullptr, "/r");
  directory_node* node(const std::string& path) {
    directory_node* at = root;
    for (size_t start = 0; start < path.size();) {
      const size_t end = std::min(path.find('/', start), path.size());
      const std::string name = path.substr(start, end - start);
      const std::vector<directory_node*> below = quern_test::children(at);
      const auto found =
          std::find_if(below.begin(), below.end(), [&](const directory_node* c) { return c->name == name; });
      at = found != below.end() ? *found : add_node(tree, at, name);
      start = end + 1;
    }
    return at;
  }
};

// A directory the earlier report had is found by its path; one it had not
// is new where the nearest directory above it that it had listed all its
// subdirectories and was read whole, and unknown otherwise.
TEST(Changes, EachDirectoryIsFoundOrKnownNewOrUnknown) {
  const auto old = earlier({{".", "10", "1", "-", "1"},
                            {"listed", "5", "1", "-", "1"},
                            {"capped", "5", "0", "-", "0"},
                            {"unread", "0", "0", "u", "1"},
                            {"elsewhere", "0", "0", "x", "1"},
                            {"tab\\tname", "0", "0", "-", "1"}});
  today now;
  const std::pair<std::string, const char*> cases[] = {
      {"", "present"},
      {"listed", "present"},
      {"tab\tname", "present"},
      {"new", "added"},
      {"new/deeper/still", "added"},
      {"listed/new", "added"},
      {"capped/below", "unknown"},
      {"capped/below/deeper", "unknown"},
      {"unread/seen", "unknown"},
      {"elsewhere/entered", "unknown"},
  };
  for (const auto& [path, expected] : cases)
    EXPECT_STREQ(kind_of(find_earlier(*old, *now.node(path))), expected) << path;

  earlier_subdirectories below_root(*old, find_earlier(*old, *now.root), *now.root);
  EXPECT_STREQ(kind_of(below_root.find("tab\tname")), "present");
  EXPECT_STREQ(kind_of(below_root.find("listed")), "present");
  EXPECT_STREQ(kind_of(below_root.find("fresh")), "added");
  std::vector<std::string> gone;
  for (const uint32_t line : below_root.gone()) gone.emplace_back(old->path(line));
  EXPECT_EQ(gone, (std::vector<std::string>{"capped", "elsewhere", "unread"}));

  // A directory not read whole today may have left out subdirectories that
  // are still there: none of them is taken for gone.
  now.root->gaps |= kGapUnread;
  EXPECT_TRUE(earlier_subdirectories(*old, find_earlier(*old, *now.root), *now.root).gone().empty());
  earlier_subdirectories below_capped(*old, find_earlier(*old, *now.node("capped")), *now.node("capped"));
  EXPECT_STREQ(kind_of(below_capped.find("x")), "unknown");
  EXPECT_TRUE(below_capped.gone().empty());
  earlier_subdirectories below_new(*old, find_earlier(*old, *now.node("new")), *now.node("new"));
  EXPECT_STREQ(kind_of(below_new.find("x")), "added");
}

// Where either side's figures fall short, no change is shown rather than a
// wrong one; a directory not entered on purpose compares as it is.
TEST(Changes, ChangesAreKnownOnlyWhereBothSidesAreComplete) {
  const auto old = earlier({{".", "100", "10", "b", "1"},
                            {"grew", "1000", "5", "-", "1"},
                            {"shrank", "2000", "7", "x", "1"},
                            {"unread", "10", "1", "u", "1"},
                            {"partly", "10", "1", "b", "1"}});
  today now;
  directory_node* grew = now.node("grew");
  grew->size = byte_total(1500);
  grew->files = 6;
  now.node("shrank")->files = 3;
  now.node("unread");
  now.node("partly");
  directory_node* added = now.node("added");
  added->size = byte_total(byte_total::from_words(1, 0));
  quern_test::add_up(now.root);
  EXPECT_EQ(change_text(change_since(*old, find_earlier(*old, *grew), *grew)), "+500 +1 -3");
  EXPECT_EQ(change_text(change_since(*old, find_earlier(*old, *now.node("shrank")), *now.node("shrank"))),
            "-2.000 -4 -3");
  EXPECT_EQ(change_text(change_since(*old, find_earlier(*old, *added), *added)), "+18.446.744.073.709.551.616 0 0");
  EXPECT_EQ(change_text(change_since(*old, find_earlier(*old, *now.node("unread")), *now.node("unread"))), "unknown");
  EXPECT_EQ(change_text(change_since(*old, find_earlier(*old, *now.node("partly")), *now.node("partly"))), "unknown");
  EXPECT_EQ(change_text(change_since(*old, find_earlier(*old, *now.root), *now.root)), "unknown");
  grew->gaps = kGapBelow;
  EXPECT_EQ(change_text(change_since(*old, find_earlier(*old, *grew), *grew)), "unknown");
  EXPECT_EQ(change_text(change_since(*old, {}, *now.node("shrank"))), "unknown");

  EXPECT_EQ(change_text(change_of_removed(*old, old->find("grew"))), "-1.000 -5 -3");
  EXPECT_EQ(change_text(change_of_removed(*old, old->find("unread"))), "unknown");
}

}  // namespace
}  // namespace quern
