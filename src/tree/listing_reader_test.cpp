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

TEST(ListingReader, CountsEveryKindOfEntryAndNumbersTheNameOrderedTreeWhateverTheOrderAndBlocks) {
  // "a", named only by a file below it, follows "a b" here: a name that
  // begins another is a directory of its own.
  std::vector<std::string> records = {
      "d 4096 r",     "f 100 r/big",    "l 7 r/link",    "s 0 r/sock",     "d 4096 r/b",          "f 50 r/b/fifty",
      "d 4096 r/b/B", "p 0 r/b/B/fifo", "c 0 r/b/B/tty", "b 0 r/b/B/disk", "D 0 r/b/B/door",      "U 0 r/b/B/what",
      "d 4096 r/a b", "f 0 r/a b/e",    "f 3 r/a/x",     "d 0 r/\xc3\xa4", "f 9 r/\xc3\xa4/n\ne", "d 4096 r/Z"};
  std::mt19937 random(7);
  for (size_t round = 0; round < 20; ++round) {
    // Records straddle reads and blocks of every size.
    const listed l(records, "r", {.chunk = 1 + round % 5}, {.block = 4 + round, .longest_record = 64});
    // Children in byte order: "Z", "a", "a b", "b", then the UTF-8 "ä".
    EXPECT_EQ(describe_numbered(l.root),
              "d1 r 1/4 1/0 1/5 107/62 5/1\n"
              "d2 r/Z 0/0 0/0 0/0 0/0 0/0\n"
              "d3 r/a 1/0 0/0 0/0 3/0 0/0\n"
              "d4 r/a b 1/0 0/0 0/0 0/0 0/0\n"
              "d5 r/b 1/0 0/0 0/5 50/0 1/0\n"
              "d6 r/b/B 0/0 0/0 5/0 0/0 0/0\n"
              "d7 r/\xc3\xa4 1/0 0/0 0/0 9/0 0/0\n");
    EXPECT_EQ(l.diag.failures(), 0);
    std::shuffle(records.begin(), records.end(), random);
  }
  // Directories named only by paths below them are made, and a later
  // record of one is its first, not a second.
  const listed parents({"f 7 r/x/y/z", "d 0 r/x/y", "f 1 r/x/w"});
  EXPECT_EQ(describe_numbered(parents.root),
            "d1 r 0/2 0/0 0/0 0/8 1/1\nd2 r/x 1/1 0/0 0/0 1/7 1/0\nd3 r/x/y 1/0 0/0 0/0 7/0 0/0\n");
  EXPECT_EQ(parents.diag.failures(), 0);
}

TEST(ListingReader, BadRecordsAreReportedByNumberAndSkippedAndTheRestCounts) {
  const std::pair<std::string, const char*> records[] = {
      {"d 0 r", nullptr},
      {"", "Format fehlerhaft"},
      {"d 0 ", "Format fehlerhaft"},
      {"f  r/a", "Format fehlerhaft"},
      {"f 12x r/a", "Format fehlerhaft"},
      {"f -1 r/a", "Format fehlerhaft"},
      {"f 9223372036854775808 r/a", "Format fehlerhaft"},
      {"dd 0 r/a", "Format fehlerhaft"},
      {"x 0 r/a", "unbekannter Typbuchstabe"},
      {"f 1 r2/a", "Pfad ausserhalb der Wurzel"},
      {"f 1 /r/a", "Pfad ausserhalb der Wurzel"},
      {"f 1 r/./a", "Pfad enthaelt . oder .."},
      {"d 0 r/a/..", "Pfad enthaelt . oder .."},
      {"f 1 r/a/../b", "Pfad enthaelt . oder .."},
      {"f 1 r", "Wurzel ist kein Verzeichnis"},
      {"d 0 r/", "Verzeichnis doppelt aufgefuehrt"},
      {"d 0 r/d", nullptr},
      {"d 0 r//d", "Verzeichnis doppelt aufgefuehrt"},
      {"f 9223372036854775807 r/thrice", nullptr},
      {"f 9223372036854775807 r/thrice", nullptr},
      {"f 9223372036854775807 r/thrice", nullptr},
      {"f 3 r/d/f", nullptr},
  };
  std::vector<std::string> texts;
  std::string expected;
  for (const auto& [text, reason] : records) {
    texts.push_back(text);
    if (reason != nullptr)
      expected += "Fehlerhafter Listeneintrag " + std::to_string(texts.size()) + ": " + reason + "\r\n";
  }
  const listed l(texts, "r", {.bytes = std::string("f 1 r/cut", 9)});
  EXPECT_EQ(l.diag.collected(), expected + "Fehlerhafter Listeneintrag 23: Eintrag nicht abgeschlossen\r\n");
  // Files are not remembered: one listed three times counts three times,
  // and its bytes add up exactly beyond 64 bits. Nothing is made for a
  // rejected path.
  EXPECT_EQ(describe_numbered(l.root), "d1 r 3/1 0/0 0/0 27670116110564327421/3 1/0\nd2 r/d 1/0 0/0 0/0 3/0 0/0\n");
}

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

TEST(ListingReader, PathsAreComposedFromTheRootAsGivenAndMatchedWithoutItsTrailingSlashes) {
  const std::pair<const char*, const char*> spellings[][2] = {
      {{"r/", "d 0 r/"}, {"f 1 r/a/f", "r//a"}},
      {{"r//", "d 0 r"}, {"f 1 r/a/f", "r///a"}},
      {{"/", "d 0 /"}, {"f 1 /a/f", "//a"}},
      {{".", "d 0 ."}, {"f 1 ./a/f", "./a"}},
  };
  for (const auto& [root, child] : spellings) {
    const listed l({root.second, child.first}, root.first);
    EXPECT_EQ(l.diag.collected(), "") << root.first;
    ASSERT_EQ(l.root->subdirs, 1) << root.first;
    EXPECT_EQ(node_path(l.root->subdirpointer[0]), child.second);
    EXPECT_EQ(l.root->recurfiles, 1);
  }
}

// The whole tree is read before anything is complete, so the rule is
// applied at the end: a directory that cannot get pages keeps its figures
// and loses its children, as in a scan.
TEST(ListingReader, DirectoriesTheRuleDoesNotKeepLoseTheirChildrenAndKeepTheirFigures) {
  const std::vector<std::string> records = {"f 10 r/a/b/c/f", "f 1000 r/x/f", "f 5 r/x/y/f"};
  for (const retention_rule& rule : {retention_rule{.max_depth = 1, .min_total = {}},
                                     retention_rule{.max_depth = UINT64_MAX, .min_total = byte_total(100)}}) {
    diagnostics diag(verbosity::quiet, -1);
    directory_tree tree(diag);
    directory_node* root = quern_test::add_node(tree, nullptr, "r");
    fake_file_system files;
    std::string text;
    for (const std::string& record : records) text += record + '\0';
    files.inputs["list"] = {.bytes = text};
    // Each directory is counted after everything below it, subdirectories
    // in name order, with its totals, before anything is given back.
    std::string counted;
    read_listing(tree, root, "r", {"list", '\0'}, files, diag, rule, [&counted](directory_node* node) {
      counted += node_path(node) + " " + std::to_string(node->total_size().low()) + " " +
                 std::to_string(node->currentsubdirs()) + "\n";
    });
    EXPECT_EQ(counted, "r/a/b/c 10 0\nr/a/b 10 1\nr/a 10 1\nr/x/y 5 0\nr/x 1005 1\nr 1015 2\n");
    ASSERT_EQ(root->currentsubdirs(), 2);
    const directory_node* a = root->subdirpointer[0];
    const directory_node* x = root->subdirpointer[1];
    EXPECT_EQ(x->currentsubdirs(), 1);
    EXPECT_EQ(root->total_size(), byte_total(1015));
    EXPECT_EQ(a->total_size(), byte_total(10));
    EXPECT_EQ(a->total_subdirs(), 2);
    if (rule.max_depth == 1) {
      // a is at depth 1 and keeps b; b, below the depth, loses c.
      ASSERT_EQ(a->currentsubdirs(), 1);
      EXPECT_EQ(a->subdirpointer[0]->currentsubdirs(), 0);
      EXPECT_EQ(a->subdirpointer[0]->subdirs, 1);
    } else {
      EXPECT_EQ(a->currentsubdirs(), 0);
      EXPECT_EQ(a->subdirs, 1);
    }
  }
}

TEST(ListingReader, WhatWasReadBeforeTheListingBrokeOffStillCounts) {
  const listed l({"f 1 r/a/f", "f 2 r/b/f"}, "r", {.breaks_after = 15, .read_error = EIO});
  EXPECT_EQ(l.diag.collected(), "Konnte Verzeichniseintrag nicht lesen: Input/output error\n");
  EXPECT_EQ(describe_numbered(l.root), "d1 r 0/1 0/0 0/0 0/1 1/0\nd2 r/a 1/0 0/0 0/0 1/0 0/0\n");
}

}  // namespace
}  // namespace quern
