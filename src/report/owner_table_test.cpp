#include "report/owner_table.h"

#include <gtest/gtest.h>

#include "base/diagnostics.h"
#include "base/text.h"
#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

// Named after their number, but 7 and 8 share a name and 20 has none.
std::optional<std::string> name_of(owner_id user) {
  if (user == 20) return std::nullopt;
  if (user == 7 || user == 8) return "same";
  return std::string(1, static_cast<char>('z' - user));
}

// name:bytes/change, "?" for a change not known, "-" marking a gone owner.
std::string describe_changes(const std::vector<owner_row>& rows) {
  std::string text;
  for (const owner_row& row : rows) {
    if (row.others > 0) text += "+" + std::to_string(row.others);
    text += row.gone ? "-" : "";
    text += row.name + ":";
    append_decimal(text, row.bytes);
    text += "/" + (row.change_known ? dotted_change(row.change) : std::string("?")) + " ";
  }
  return text;
}

TEST(OwnerTable, ChangesAreMatchedByNameAndGoneOwnersFollowAndCountAmongAllOthers) {
  detail_ledger ledger({.owners = true}, name_of);
  keyed_figures figures;
  figures.add(25, 5000, 2);  // "a": grown
  figures.add(24, 100, 1);   // "b": new
  figures.add(23, 7, 1);     // "c": shrunk
  figures.add(7, 10, 1);     // "same" twice: matched once
  figures.add(8, 3, 1);
  const earlier_owners before{true,
                              {{"a", byte_total(1000), 1},
                               {"gone big", byte_total(900), 4},
                               {"c", byte_total(70), 1},
                               {"same", byte_total(10), 1},
                               {"gone small", byte_total(9), 9}}};
  EXPECT_EQ(describe_changes(owner_rows(figures, ledger, before)),
            "a:5000/+4.000 b:100/+100 same:10/0 c:7/-63 same:3/+3 -gone big:0/-900 -gone small:0/-9 ");
  // Cut after four: the others stand for the second "same" and both gone
  // owners, and their change is the sum of theirs.
  EXPECT_EQ(describe_changes(owner_rows(figures, ledger, before, 4)),
            "a:5000/+4.000 b:100/+100 same:10/0 c:7/-63 +3:3/-906 ");
  // Where nothing is known of then, nothing changes and nothing is gone.
  EXPECT_EQ(describe_changes(owner_rows(figures, ledger, earlier_owners{}, 4)),
            "a:5000/? b:100/? same:10/? c:7/? +1:3/? ");
  // A directory with no owners then has all its bytes as the change, and
  // one with none now has only gone owners.
  EXPECT_EQ(describe_changes(owner_rows(figures, ledger, earlier_owners{true, {}}, 2)),
            "a:5000/+5.000 b:100/+100 +3:20/+20 ");
  EXPECT_EQ(describe_changes(owner_rows(keyed_figures(), ledger, before, 1)), "-a:0/-1.000 +4:0/-989 ");
}

// OLD has the owners of a directory only with its owners column, where
// they were kept and where neither side left anything unread.
TEST(OwnerTable, EarlierOwnersAreKnownOnlyWhereBothSidesHaveThemWhole) {
  std::string text =
      "#quern-summary 1\n#root\tr\n#begun\t2026-12-07T09:16:31Z\n#source\tscan\n#options\t\n#scope\treport\n"
      "path\tbytes\town_bytes\tfiles\town_files\tsubdirs\town_subdirs\tlinks\town_links\tothers\town_others\tgaps\t"
      "listed\towners\n";
  const std::pair<const char*, const char*> lines[] = {
      {".", "-\t1\tx=3/1"}, {"kept", "-\t1\tx=2/1"}, {"unkept", "-\t1\t?"}, {"below", "b\t1\tx=1/1"},
      {"unread", "u\t1\t"}, {"none", "-\t1\t"},      {"out", "x\t1\t"},
  };
  for (const auto& [path, rest] : lines) text += std::string(path) + "\t1\t0\t1\t0\t0\t0\t0\t0\t0\t0\t" + rest + "\n";
  text += "#end\t7\n";
  fake_file_system files;
  files.inputs["old"] = {text};
  std::string message;
  const std::unique_ptr<old_summary> old = read_old_summary(files, "old", message);
  ASSERT_NE(old, nullptr) << message;

  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = quern_test::add_node(tree, nullptr, "r");
  std::string known;
  for (const char* name : {"kept", "unkept", "below", "unread", "none", "out", "new"}) {
    directory_node* node = quern_test::add_node(tree, root, name);
    const earlier_owners before = owners_before(*old, find_earlier(*old, *node), *node);
    known += std::string(name) + (before.known ? ":" + std::to_string(before.owners.size()) : "") + " ";
    // Something unread now makes it unknown whatever then was.
    node->gaps = kGapBelow;
    EXPECT_FALSE(owners_before(*old, find_earlier(*old, *node), *node).known) << name;
  }
  EXPECT_EQ(known, "kept:1 unkept below unread none:0 out:0 new ");
  EXPECT_TRUE(owners_before(*old, find_earlier(*old, *root), *root).known);
}

}  // namespace
}  // namespace quern
