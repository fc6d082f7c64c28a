#include "tree/listing_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::describe_numbered;

// Reads the records, each ended by NUL and followed by the input's own
// bytes, as the listing of `root_path`.
struct listed {
  explicit listed(const std::vector<std::string>& records, const std::string& root_path = "r",
                  fake_file_system::input input = {}, listing_buffer_sizes sizes = {})
      : diag(verbosity::quiet, -1), tree(diag) {
    std::string text;
    for (const std::string& record : records) text += record + '\0';
    input.bytes = text + input.bytes;
    files.inputs["list"] = input;
    root = tree.create_directory_node();
    tree.set_name(root, root_path.data(), root_path.size());
    read_listing(tree, root, root_path, {"list", '\0'}, files, diag, {}, nullptr, sizes);
  }
  fake_file_system files;
  diagnostics diag;
  directory_tree tree;
  directory_node* root;
};

TEST(ListingReader, RecordsTooLongToHoldAndNulsInLinesAreMalformedAndTheNextRecordsStillCount) {
  const std::string deep = "f 1 r/" + std::string(40, 'n') + "/f";
  const listed l({"f 2 r/" + std::string(20, 'm') + "/f", deep, "f 4 r/x", deep}, "r", {},
                 {.block = 8, .longest_record = 32});
  EXPECT_EQ(l.diag.collected(),
            "Fehlerhafter Listeneintrag 2: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 4: Format fehlerhaft\r\n");
  EXPECT_EQ(describe_numbered(l.root), "d1 r 1/1 0/0 0/0 4/2 1/0\nd2 r/mmmmmmmmmmmmmmmmmmmm 1/0 0/0 0/0 2/0 0/0\n");

  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, "r", 1);
  fake_file_system files;
  files.standard_input_bytes.bytes = std::string("f 1 r/a\0b\nf 2 r/c\n", 18);
  read_listing(tree, root, "r", {"-", '\n'}, files, diag);
  EXPECT_EQ(diag.collected(), "Fehlerhafter Listeneintrag 1: Format fehlerhaft\r\n");
  EXPECT_EQ(root->size, byte_total(2));
}

TEST(ListingReader, WhatWasReadBeforeTheListingBrokeOffStillCounts) {
  const listed l({"f 1 r/a/f", "f 2 r/b/f"}, "r", {.breaks_after = 15, .read_error = EIO});
  EXPECT_EQ(l.diag.collected(), "Konnte Verzeichniseintrag nicht lesen: Input/output error\n");
  EXPECT_EQ(describe_numbered(l.root), "d1 r 0/1 0/0 0/0 0/1 1/0\nd2 r/a 1/0 0/0 0/0 1/0 0/0\n");
}

}  // namespace
}  // namespace quern
