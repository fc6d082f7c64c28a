#include "tree/listing_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tree/fake_file_system.h"

namespace quern {
namespace {

// Reads `input` as the listing of `root_path` and keeps what it produced.
struct listed {
  explicit listed(const fake_file_system::input& input, const std::string& root_path = "r", char terminator = '\0',
                  listing_buffer_sizes sizes = {})
      : diag(0, -1), tree(diag) {
    files.inputs["list"] = input;
    root = tree.create_directory_node();
    tree.set_name(root, root_path.data(), root_path.size());
    read_listing(tree, root, root_path, {"list", terminator}, files, diag, sizes);
  }
  fake_file_system files;
  diagnostics diag;
  directory_tree tree;
  directory_node* root;
};

fake_file_system::input bytes(std::string text) { return {.bytes = std::move(text)}; }

// Records ended by NUL, from lines written for readability.
std::string nul_records(std::initializer_list<std::string> records) {
  std::string text;
  for (const std::string& record : records) text += record + '\0';
  return text;
}

// Every node in pre-order: number, path and "own/below" counts of files,
// links, others, bytes and subdirectories; the totals below are checked
// against the children on the way.
std::string describe(const directory_node* n) {
  constexpr std::pair<int64_t directory_node::*, int64_t directory_node::*> counts[] = {
      {&directory_node::files, &directory_node::recurfiles},
      {&directory_node::symlinks, &directory_node::recursymlinks},
      {&directory_node::devices, &directory_node::recurdevices},
      {&directory_node::size, &directory_node::recursize},
      {&directory_node::subdirs, &directory_node::recursubdirs}};
  std::string text = node_id(n) + " " + node_path(n);
  for (auto [own, below] : counts) {
    text += " " + std::to_string(n->*own) + "/" + std::to_string(n->*below);
    int64_t sum = 0;
    for (int64_t i = 0; i < n->currentsubdirs(); ++i) sum += n->subdirpointer[i]->*own + n->subdirpointer[i]->*below;
    EXPECT_EQ(n->*below, sum) << node_path(n);
  }
  text += "\n";
  for (int64_t i = 0; i < n->currentsubdirs(); ++i) {
    EXPECT_EQ(n->subdirpointer[i]->parent, n);
    text += describe(n->subdirpointer[i]);
  }
  return text;
}

const std::vector<std::string> kTree = {
    "d 4096 r",       "f 100 r/big",    "l 7 r/link",     "s 0 r/sock",     "d 4096 r/b",
    "f 50 r/b/fifty", "d 4096 r/b/B",   "p 0 r/b/B/fifo", "c 0 r/b/B/tty",  "b 0 r/b/B/disk",
    "D 0 r/b/B/door", "U 0 r/b/B/what", "d 4096 r/a b",   "f 0 r/a b/empty", "f 3 r/a/x",      "d 4096 r/\xc3\xa4",
    "f 9 r/\xc3\xa4/n\ne", "d 4096 r/Z",
};

// Numbered in pre-order with each directory's children in byte order of
// their names: "Z" before "a" before "a b" before "b" before the UTF-8 "ä".
// "a", named only by a file below it, follows "a b" in the listing: a name
// that begins another is a directory of its own.
const char* const kTreeDescribed =
    "d1 r 1/4 1/0 1/5 107/62 5/1\n"
    "d2 r/Z 0/0 0/0 0/0 0/0 0/0\n"
    "d3 r/a 1/0 0/0 0/0 3/0 0/0\n"
    "d4 r/a b 1/0 0/0 0/0 0/0 0/0\n"
    "d5 r/b 1/0 0/0 0/5 50/0 1/0\n"
    "d6 r/b/B 0/0 0/0 5/0 0/0 0/0\n"
    "d7 r/\xc3\xa4 1/0 0/0 0/0 9/0 0/0\n";

TEST(ListingReader, CountsEveryKindOfEntryAndNumbersTheNameOrderedTreeWhateverTheOrderAndBlocks) {
  std::vector<std::string> records = kTree;
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::string text;
    for (const std::string& record : records) text += record + '\0';
    fake_file_system::input input = bytes(text);
    // Records straddle reads and blocks of every size.
    input.chunk = 1 + static_cast<size_t>(round % 5);
    const listed l(input, "r", '\0', {.block = 4 + static_cast<size_t>(round), .longest_record = 64});
    EXPECT_EQ(describe(l.root), kTreeDescribed) << text;
    EXPECT_EQ(l.tree.structures(), 7);
    EXPECT_EQ(l.diag.failures(), 0);
    std::shuffle(records.begin(), records.end(), random);
  }
}

TEST(ListingReader, DirectoriesNamedOnlyByPathsBelowThemAreMadeAndCountedAsSubdirectories) {
  const listed l(bytes(nul_records({"f 7 r/x/y/z", "f 1 r/x/w", "d 0 r/x/y/v"})));
  EXPECT_EQ(describe(l.root),
            "d1 r 0/2 0/0 0/0 0/8 1/2\n"
            "d2 r/x 1/1 0/0 0/0 1/7 1/1\n"
            "d3 r/x/y 1/0 0/0 0/0 7/0 1/0\n"
            "d4 r/x/y/v 0/0 0/0 0/0 0/0 0/0\n");
  // The record of a directory already made for the paths below it is its
  // first, not a second one.
  const listed later(bytes(nul_records({"f 7 r/x/z", "d 0 r/x", "d 0 r/x/"})));
  EXPECT_EQ(later.diag.collected(), "Fehlerhafter Listeneintrag 3: Verzeichnis doppelt aufgefuehrt\r\n");
  EXPECT_EQ(later.root->subdirs, 1);
}

TEST(ListingReader, BadRecordsAreReportedByNumberAndSkippedAndTheRestCounts) {
  const listed l(bytes(nul_records({
                           "d 0 r",
                           "",
                           "d",
                           "d 0",
                           "d 0 ",
                           "f  r/a",
                           "f 12x r/a",
                           "f -1 r/a",
                           "f 9223372036854775808 r/a",
                           "dd 0 r/a",
                           "x 0 r/a",
                           "f 1 r2/a",
                           "f 1 /r/a",
                           "f 1 r/./a",
                           "d 0 r/a/..",
                           "f 1 r/a/../b",
                           "f 1 r",
                           "d 0 r/",
                           "d 0 r/d",
                           "d 0 r//d",
                           "f 9223372036854775807 r/twice",
                           "f 9223372036854775807 r/twice",
                           "f 3 r/d/f",
                       }) +
                       "f 5 r/cut"));
  EXPECT_EQ(l.diag.collected(),
            "Fehlerhafter Listeneintrag 2: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 3: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 4: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 5: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 6: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 7: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 8: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 9: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 10: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 11: unbekannter Typbuchstabe\r\n"
            "Fehlerhafter Listeneintrag 12: Pfad ausserhalb der Wurzel\r\n"
            "Fehlerhafter Listeneintrag 13: Pfad ausserhalb der Wurzel\r\n"
            "Fehlerhafter Listeneintrag 14: Pfad enthaelt . oder ..\r\n"
            "Fehlerhafter Listeneintrag 15: Pfad enthaelt . oder ..\r\n"
            "Fehlerhafter Listeneintrag 16: Pfad enthaelt . oder ..\r\n"
            "Fehlerhafter Listeneintrag 17: Wurzel ist kein Verzeichnis\r\n"
            "Fehlerhafter Listeneintrag 18: Verzeichnis doppelt aufgefuehrt\r\n"
            "Fehlerhafter Listeneintrag 20: Verzeichnis doppelt aufgefuehrt\r\n"
            "Fehlerhafter Listeneintrag 24: Eintrag nicht abgeschlossen\r\n");
  EXPECT_EQ(l.diag.failures(), 19);
  // Files are not remembered: one listed twice counts twice, and its bytes
  // wrap rather than overflow. Nothing was made for the rejected paths.
  EXPECT_EQ(describe(l.root),
            "d1 r 2/1 0/0 0/0 -2/3 1/0\n"
            "d2 r/d 1/0 0/0 0/0 3/0 0/0\n");

  // A newline-ended record can hold a NUL, which no name can.
  const listed lines(bytes(std::string("f 1 r/a\0b\nf 2 r/c\n", 18)), "r", '\n');
  EXPECT_EQ(lines.diag.collected(), "Fehlerhafter Listeneintrag 1: Format fehlerhaft\r\n");
  EXPECT_EQ(lines.root->size, 2);
}

TEST(ListingReader, ARecordTooLongToHoldIsPassedOverAndTheNextOnesStillCount) {
  const std::string deep = "f 1 r/" + std::string(40, 'n') + "/f";
  const std::string fits = "f 2 r/" + std::string(20, 'm') + "/f";
  const listing_buffer_sizes sizes{.block = 8, .longest_record = 32};
  const listed l(bytes(nul_records({fits, deep, "f 4 r/x", deep})), "r", '\0', sizes);
  EXPECT_EQ(l.diag.collected(),
            "Fehlerhafter Listeneintrag 2: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 4: Format fehlerhaft\r\n");
  EXPECT_EQ(l.root->size, 4);
  EXPECT_EQ(l.root->recursize, 2);
  const listed cut(bytes(nul_records({"f 4 r/x"}) + deep), "r", '\0', sizes);
  EXPECT_EQ(cut.diag.collected(), "Fehlerhafter Listeneintrag 2: Eintrag nicht abgeschlossen\r\n");
}

TEST(ListingReader, PathsAreComposedFromTheRootAsGivenAndMatchedWithoutItsTrailingSlashes) {
  struct spelling {
    const char* root;
    std::vector<std::string> records;
    const char* described;
  };
  const spelling spellings[] = {
      {"r/", {"d 0 r/", "f 1 r/a/f"}, "d1 r/ 0/1 0/0 0/0 0/1 1/0\nd2 r//a 1/0 0/0 0/0 1/0 0/0\n"},
      {"r//", {"d 0 r", "f 1 r/a/f"}, "d1 r// 0/1 0/0 0/0 0/1 1/0\nd2 r///a 1/0 0/0 0/0 1/0 0/0\n"},
      {"/", {"d 0 /", "f 1 /a/f"}, "d1 / 0/1 0/0 0/0 0/1 1/0\nd2 //a 1/0 0/0 0/0 1/0 0/0\n"},
      {".", {"d 0 .", "f 1 ./a/f"}, "d1 . 0/1 0/0 0/0 0/1 1/0\nd2 ./a 1/0 0/0 0/0 1/0 0/0\n"},
  };
  for (const spelling& s : spellings) {
    std::string text;
    for (const std::string& record : s.records) text += record + '\0';
    const listed l(bytes(text), s.root);
    EXPECT_EQ(describe(l.root), s.described) << s.root;
    EXPECT_EQ(l.diag.collected(), "") << s.root;
  }
}

TEST(ListingReader, AListingThatCannotBeOpenedOrReadToItsEndIsAGapAndWhatWasReadCounts) {
  fake_file_system::input missing = bytes("");
  missing.open_error = EACCES;
  const listed closed(missing);
  EXPECT_EQ(closed.diag.collected(), "Konnte Verzeichnis nicht oeffnen: Permission denied\n");
  EXPECT_EQ(describe(closed.root), "d1 r 0/0 0/0 0/0 0/0 0/0\n");

  fake_file_system::input broken = bytes(nul_records({"f 1 r/a/f", "f 2 r/b/f", "f 4 r/c/f"}));
  broken.breaks_after = 15;  // within the second record, which is lost
  broken.read_error = EIO;
  const listed partial(broken);
  EXPECT_EQ(partial.diag.collected(), "Konnte Verzeichniseintrag nicht lesen: Input/output error\n");
  EXPECT_EQ(describe(partial.root), "d1 r 0/1 0/0 0/0 0/1 1/0\nd2 r/a 1/0 0/0 0/0 1/0 0/0\n");

  diagnostics diag(0, -1);
  directory_tree tree(diag);
  directory_node* root = tree.create_directory_node();
  tree.set_name(root, "r", 1);
  fake_file_system files;
  files.standard_input_bytes = bytes("d 0 r\nf 3 r/x\n");
  read_listing(tree, root, "r", {"-", '\n'}, files, diag);
  EXPECT_EQ(root->size, 3);
}

}  // namespace
}  // namespace quern
