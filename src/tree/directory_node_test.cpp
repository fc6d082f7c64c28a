#include "tree/directory_node.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>

#include "base/diagnostics.h"
#include "base/text.h"

namespace quern {
namespace {

TEST(DirectoryNode, DumpShowsCountsAndUsedSlots) {
  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, "r", 1);
  root->files = 2, root->size = 3, root->recurfiles = 4, root->recursize = 5;
  for (const char* name : {"x", "y"}) {
    directory_node* child = tree.create_directory_node();
    tree.add_subdir_to_directory(root, child);
    tree.set_name(child, name, 1);
  }
  tree.dump(root);
  const std::string& text = diag.collected();
  EXPECT_EQ(text,
            "Dump of directory structure d1 (r)\r\n Files 2\r\n Size 3\r\n RecurFiles 4\r\n"
            " RecurSize 5\r\n Subdirs 2\r\n Subdirpointer a1\r\n countofsubdir 64\r\n currentsubdirs 2\r\n"
            " subdir[0] -> d2 (r/x)\r\n subdir[1] -> d3 (r/y)\r\n");
}

TEST(DirectoryNode, IdentifiersAreRecognisedAtTheStartOfATextAndNearMissesAreNot) {
  for (const uint64_t id : {uint64_t{1}, uint64_t{9}, uint64_t{10}, uint64_t{4096},
                            static_cast<uint64_t>(std::numeric_limits<int64_t>::max())}) {
    directory_node node;
    node.id = id;
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
