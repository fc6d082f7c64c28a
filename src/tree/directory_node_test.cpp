#include "tree/directory_node.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/diagnostics.h"

namespace quern {
namespace {

directory_node* add_child(directory_tree& tree, directory_node* parent, const std::string& name) {
  directory_node* child = tree.create_directory_node();
  tree.add_subdir_to_directory(parent, child);
  tree.set_name(child, name.data(), name.size());
  return child;
}

TEST(DirectoryNode, FreshNodeIsEmptyWithSixtyFourFreeSlots) {
  diagnostics diag(0, -1);
  directory_tree tree(diag);
  directory_node* node = tree.create_directory_node();
  EXPECT_EQ(node->files + node->recurfiles + node->symlinks + node->recursymlinks + node->devices +
                node->recurdevices + node->size + node->recursize + node->subdirs + node->recursubdirs,
            0);
  EXPECT_EQ(node->currentsubdirs, 0);
  EXPECT_EQ(node->countofsubdir(), 64);
  EXPECT_EQ(node->parent, nullptr);
  for (int64_t slot = 0; slot < 64; ++slot) EXPECT_EQ(node->subdir(slot), nullptr);
  EXPECT_EQ(tree.structures(), 1);
}

TEST(DirectoryNode, ChildArrayGrowsByDoublingAndKeepsOrder) {
  diagnostics diag(0, -1);
  directory_tree tree(diag);
  directory_node* parent = tree.create_directory_node();
  std::vector<directory_node*> children;
  auto add = [&] { children.push_back(add_child(tree, parent, "c" + std::to_string(children.size()))); };
  for (int i = 0; i < 64; ++i) add();
  EXPECT_EQ(parent->countofsubdir(), 64);
  add();
  EXPECT_EQ(parent->countofsubdir(), 128);
  for (int64_t slot = 0; slot < 65; ++slot) {
    EXPECT_EQ(parent->subdir(slot), children[static_cast<size_t>(slot)]);
    EXPECT_EQ(children[static_cast<size_t>(slot)]->parent, parent);
  }
  for (int64_t slot = 65; slot < 128; ++slot) EXPECT_EQ(parent->subdir(slot), nullptr);
  while (children.size() < 128) add();
  EXPECT_EQ(parent->countofsubdir(), 128);
  add();
  EXPECT_EQ(parent->countofsubdir(), 256);
  for (int64_t slot = 0; slot < 129; ++slot) EXPECT_EQ(parent->subdir(slot), children[static_cast<size_t>(slot)]);
  EXPECT_EQ(tree.structures(), 130);
}

TEST(DirectoryNode, TracesCreationAndGrowthAtLevelThree) {
  diagnostics diag(3, -1);
  directory_tree tree(diag);
  directory_node* parent = tree.create_directory_node();
  EXPECT_EQ(diag.collected(),
            "*** create_directory_node 1\r\n*** resize_subdirs d1\r\n*** resize_subdirs newsize is 64\r\n");
  for (int i = 0; i < 64; ++i) add_child(tree, parent, "c" + std::to_string(i));
  const size_t before = diag.collected().size();
  add_child(tree, parent, "last");
  EXPECT_EQ(diag.collected().substr(before),
            "*** create_directory_node 66\r\n*** resize_subdirs d66\r\n*** resize_subdirs newsize is 64\r\n"
            "*** add_subdir d1 d66\r\n*** resize_subdirs d1\r\n*** resize_subdirs newsize is 128\r\n"
            "*** resize_subdirs copy data\r\n*** add_subdir into slot 64\r\n");
}

TEST(DirectoryNode, NothingIsTracedBelowLevelThree) {
  diagnostics diag(2, -1);
  directory_tree tree(diag);
  add_child(tree, tree.create_directory_node(), "a");
  EXPECT_EQ(diag.collected(), "");
}

TEST(DirectoryNode, PathIsComposedFromTheParentChain) {
  diagnostics diag(0, -1);
  directory_tree tree(diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, "/data/", 6);
  directory_node* b = add_child(tree, add_child(tree, root, "a"), "b c");
  EXPECT_EQ(node_path(root), "/data/");
  EXPECT_EQ(node_path(b), "/data//a/b c");
  EXPECT_EQ(node_id(b), "d3");
}

TEST(DirectoryNode, DumpShowsCountsAndUsedSlots) {
  diagnostics diag(0, -1);
  directory_tree tree(diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, "r", 1);
  root->files = 2;
  root->size = 3;
  root->recurfiles = 4;
  root->recursize = 5;
  tree.dump(root);
  EXPECT_EQ(diag.collected(),
            "Dump of directory structure d1 (r)\r\n Files 2\r\n Size 3\r\n RecurFiles 4\r\n RecurSize 5\r\n"
            " Subdirs 0\r\n Subdirpointer (nil)\r\n countofsubdir 64\r\n currentsubdirs 0\r\n");

  add_child(tree, root, "x");
  add_child(tree, root, "y");
  tree.dump(root);
  EXPECT_NE(diag.collected().find(" currentsubdirs 2\r\n subdir[0] -> d2 (r/x)\r\n subdir[1] -> d3 (r/y)\r\n"),
            std::string::npos);
}

void* fail_after_first(void* old, size_t bytes) {
  static int calls = 0;
  return ++calls > 1 ? nullptr : std::realloc(old, bytes);
}

void* fail_always(void*, size_t) { return nullptr; }

TEST(DirectoryNodeDeathTest, FailedAllocationsEndTheRunWithOneLine) {
  EXPECT_EXIT(
      {
        diagnostics diag(0, -1);
        directory_tree tree(diag, fail_always);
        tree.create_directory_node();
      },
      testing::ExitedWithCode(2), "^create_directory_node: Quern [0-9]+ Malloc Error\\.\\.\\.\r\n$");
  EXPECT_EXIT(
      {
        diagnostics diag(0, -1);
        directory_tree tree(diag, fail_after_first);
        directory_node* parent = tree.create_directory_node();
        tree.add_subdir_to_directory(parent, tree.create_directory_node());
      },
      testing::ExitedWithCode(2), "^resize_subdirs: Quern [0-9]+ Malloc Error\\.\\.\\.\r\n$");
}

}  // namespace
}  // namespace quern
