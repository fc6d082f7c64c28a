#include "tree/directory_node.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/text.h"

namespace quern {
namespace {

TEST(DirectoryNode, DumpShowsCountsAndUsedSlots) {
  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, "r", 1);
  root->files = 2, root->size = byte_total(3), root->recurfiles = 4;
  // Beyond 64 bits, as three files of the largest size add up to.
  root->recursize = byte_total::from_words(1, 8);
  for (const char* name : {"x", "y"}) {
    directory_node* child = tree.create_directory_node();
    tree.add_subdir_to_directory(root, child);
    tree.set_name(child, name, 1);
  }
  tree.dump(root);
  const std::string& text = diag.collected();
  EXPECT_EQ(
      text,
      "Dump of directory structure d1 (r)\r\n Files 2\r\n Size 3\r\n RecurFiles 4\r\n"
      " RecurSize 18446744073709551624\r\n Subdirs 2\r\n Subdirpointer a1\r\n countofsubdir 64\r\n currentsubdirs 2\r\n"
      " subdir[0] -> d2 (r/x)\r\n subdir[1] -> d3 (r/y)\r\n");
}

// A subtree given back leaves everything made before it as it was, and its
// storage is used again: a long scan under caps needs only as much as its
// deepest unfinished part.
TEST(DirectoryNode, SubtreesGivenBackLeaveTheRestIntactAndAreUsedAgain) {
  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, "root", 4);
  directory_node* kept = tree.create_directory_node();
  tree.add_subdir_to_directory(root, kept);
  tree.set_name(kept, "kept", 4);
  const directory_tree::mark after_kept = tree.current_mark();
  // More nodes and names than one block of each holds, and a name longer
  // than a block.
  std::vector<directory_node*> below{kept};
  const std::string long_name(3 << 20, 'n');
  for (int i = 0; i < 20000; ++i) {
    directory_node* node = tree.create_directory_node();
    tree.add_subdir_to_directory(below[static_cast<size_t>(i) / 3], node);
    const std::string name = i == 5000 ? long_name : std::string(100, static_cast<char>('a' + i % 26));
    tree.set_name(node, name.data(), name.size());
    below.push_back(node);
  }
  const directory_node* first_below = below[1];
  tree.release_to(after_kept);
  tree.drop_children(kept);

  EXPECT_STREQ(root->name, "root");
  EXPECT_STREQ(kept->name, "kept");
  EXPECT_EQ(root->currentsubdirs(), 1);
  EXPECT_EQ(root->subdirpointer[0], kept);
  // The count of subdirectories stays what it was; only the children went.
  EXPECT_EQ(kept->subdirs, 3);
  EXPECT_EQ(kept->currentsubdirs(), 0);
  EXPECT_EQ(kept->subdirpointer, nullptr);
  EXPECT_EQ(tree.structures(), 20002);

  directory_node* again = tree.create_directory_node();
  tree.add_subdir_to_directory(root, again);
  tree.set_name(again, "again", 5);
  EXPECT_EQ(again, first_below);
  EXPECT_EQ(again->id(), 20003u);
  EXPECT_EQ(again->subdirs, 0);
  EXPECT_STREQ(again->name, "again");
  EXPECT_STREQ(kept->name, "kept");
  EXPECT_EQ(root->currentsubdirs(), 2);
}

// A child that nothing will show is counted, and traced, as any other, but
// not stored.
TEST(DirectoryNode, AChildNotKeptIsCountedAndTracedAlike) {
  std::string traces[2];
  for (const bool keep : {true, false}) {
    diagnostics diag(verbosity::operations, -1);
    directory_tree tree(diag);
    directory_node* parent = tree.create_directory_node();
    tree.set_name(parent, "p", 1);
    for (int i = 0; i < 65; ++i) tree.add_subdir_to_directory(parent, tree.create_directory_node(), keep);
    EXPECT_EQ(parent->subdirs, 65);
    EXPECT_EQ(parent->currentsubdirs(), keep ? 65 : 0);
    EXPECT_EQ(parent->countofsubdir(), 128);
    traces[keep ? 0 : 1] = diag.collected();
  }
  EXPECT_EQ(traces[0], traces[1]);
  EXPECT_NE(traces[0].find("*** resize_subdirs newsize is 128\r\n*** resize_subdirs copy data\r\n"), std::string::npos);
}

TEST(DirectoryNode, IdentifiersAreRecognisedAtTheStartOfATextAndNearMissesAreNot) {
  // Up to the largest identifier a node can carry.
  for (const uint64_t id : {uint64_t{1}, uint64_t{9}, uint64_t{10}, uint64_t{4096}, (uint64_t{1} << 48) - 1}) {
    directory_node node;
    node.set_id(id);
    const std::string text = node_id(&node);
    EXPECT_EQ(text, "d" + std::to_string(id));
    EXPECT_EQ(node_id_length(text), text.size());
    EXPECT_EQ(node_id_length(text + "_sn.html"), text.size());
    EXPECT_EQ(node_id_length(text + "x"), text.size());
  }
  for (const char* other : {"", "d", "dx", "d0", "d01", "d-1", "d+1", "D1", "e1", " d1", "d9223372036854775808"})
    EXPECT_EQ(node_id_length(other), 0u) << other;
}

void* fail_after_first(void* old, size_t bytes) {
  static int calls = 0;
  return ++calls > 1 ? nullptr : std::realloc(old, bytes);
}

void* fail_always(void*, size_t) { return nullptr; }

// Death tests match with the simplest regular expressions on some
// platforms (no bracket expressions), and there the child's output is read
// with CR LF turned into LF.
TEST(DirectoryNodeDeathTest, FailedAllocationsEndTheRunWithOneLine) {
  EXPECT_EXIT(
      {
        diagnostics diag(verbosity::quiet, -1);
        directory_tree tree(diag, fail_always);
        tree.create_directory_node();
      },
      testing::ExitedWithCode(2), "^create_directory_node: Quern .+ Malloc Error\\.\\.\\.\r?\n$");
  EXPECT_EXIT(
      {
        diagnostics diag(verbosity::quiet, -1);
        directory_tree tree(diag, fail_after_first);
        directory_node* parent = tree.create_directory_node();
        tree.add_subdir_to_directory(parent, tree.create_directory_node());
      },
      testing::ExitedWithCode(2), "^resize_subdirs: Quern .+ Malloc Error\\.\\.\\.\r?\n$");
}

}  // namespace
}  // namespace quern
