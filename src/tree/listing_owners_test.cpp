#include "tree/listing_owners.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "support/fake_file_system.h"
#include "support/tree_nodes.h"
#include "tree/listing_reader.h"

namespace quern {
namespace {

using quern_test::describe_owners;

TEST(ListingOwners, AnOwnerIsAFieldBetweenSizeAndPathWhereOnlyItsRemovalLeavesAPathOfTheRoot) {
  const struct {
    const char* record;
    const char* root;
    bool owner;
  } cases[] = {
      {"d 0 r", "r", false},
      {"d 0 1000 r", "r", true},
      {"f 5 alice r/a b", "r", true},
      {"f 5 r/a b", "r", false},
      {"f 5 r2 r", "r", true},
      {"f 5 1000 /elsewhere", "r", false},
      {"f 5  r/a", "r", false},
      {"f 5 1000r/a", "r", false},
      {"f x 1000 r", "r", false},
      {"f 1000 r", "r", false},
      {"d 0 /", "", false},
      {"d 0 0 /", "", true},
      {"d 0 my data/x", "my data", false},
      {"d 0 me my data/x", "my data", true},
      {"d 0 domain users r", "r", true},
      {"d 0 domain users /", "", true},
      {"f 5 domain users r2/x", "r", false},
  };
  for (const auto& c : cases) EXPECT_EQ(names_owner(c.record, c.root), c.owner) << c.record;
}

// Opens the listing of root "r" that the fake file system holds as "list".
opened_listing open(fake_file_system& files, const std::string& path = "list", char terminator = '\0',
                    size_t longest_record = 64) {
  return open_listing({path, terminator}, "r//", files, longest_record);
}

std::string read_all(input_file& input, status& ended) {
  std::string text;
  char buffer[5];
  size_t got = 0;
  while ((ended = input.read(buffer, sizeof buffer, got)).is_ok() && got > 0) text.append(buffer, got);
  return text;
}

TEST(ListingOwners, TheFirstRecordTellsAndEverythingReadToDecideIsReadAgainWhateverTheChunks) {
  const std::string listing("d 0 1000 r\0f 1 1000 r/f\0", 24);
  for (const size_t chunk : {size_t{1}, size_t{3}, SIZE_MAX}) {
    fake_file_system files;
    files.inputs["list"] = {.bytes = listing, .chunk = chunk};
    files.standard_input_bytes = {.bytes = "d 0 r\nf 1 r/f\n", .chunk = chunk};
    opened_listing named = open(files);
    EXPECT_EQ(named.owner_field, std::optional<bool>(true));
    status ended;
    EXPECT_EQ(read_all(*named.input, ended), listing);
    EXPECT_TRUE(ended.is_ok());
    opened_listing unnamed = open(files, "-", '\n');
    EXPECT_EQ(unnamed.owner_field, std::optional<bool>(false));
    EXPECT_EQ(read_all(*unnamed.input, ended), "d 0 r\nf 1 r/f\n");
  }
}

TEST(ListingOwners, WithoutAWholeFirstRecordNothingIsToldAndFailuresComeAfterWhatWasRead) {
  fake_file_system files;
  files.inputs["empty"] = {};
  files.inputs["broken"] = {.bytes = std::string("d 0 1000 r/long name", 20), .breaks_after = 8, .read_error = EIO};
  files.inputs["long"] = {.bytes = std::string("d 0 1000 r/") + std::string(60, 'n') + '\0'};
  files.inputs["locked"] = {.open_error = EACCES};
  status ended;
  opened_listing empty = open(files, "empty");
  EXPECT_FALSE(empty.owner_field.has_value());
  EXPECT_EQ(read_all(*empty.input, ended), "");
  opened_listing broken = open(files, "broken");
  EXPECT_FALSE(broken.owner_field.has_value());
  EXPECT_EQ(read_all(*broken.input, ended), "d 0 1000");
  EXPECT_EQ(ended.error_number(), EIO);
  opened_listing longer = open(files, "long");
  EXPECT_FALSE(longer.owner_field.has_value());
  EXPECT_EQ(read_all(*longer.input, ended), files.inputs["long"].bytes);
  opened_listing locked = open(files, "locked");
  EXPECT_EQ(locked.input, nullptr);
  EXPECT_EQ(locked.opened.error_number(), EACCES);
}

// A listing of root "r" read with a ledger, or without one.
struct listed {
  listed(const std::vector<std::string>& records, char terminator, bool with_ledger, retention_rule rule = {})
      : diag(verbosity::quiet, -1), tree(diag) {
    std::string text;
    for (const std::string& record : records) text += record + terminator;
    files.inputs["list"] = {.bytes = text};
    root = quern_test::add_node(tree, nullptr, "r");
    opened_listing listing = open_listing({"list", terminator}, "r", files, size_t{1} << 20);
    read_listing(tree, root, "r", listing, terminator, diag, rule, with_ledger ? &ledger : nullptr);
  }
  fake_file_system files;
  diagnostics diag;
  directory_tree tree;
  owner_ledger ledger;
  directory_node* root;
};

// Owners of nothing but directories and other entries hold no bytes and
// no files, and so are no owners on the pages.
TEST(ListingOwners, NumbersAndNamesAreCountedAsGivenInEitherFormatAndInAnyOrder) {
  std::vector<std::string> records = {
      "d 4096 0 r",       "f 100 1000 r/big",   "l 7 alice r/link",   "p 0 bob r/fifo",
      "d 4096 0 r/a",     "f 5 alice r/a/f",    "f 0 0010 r/a/empty", "d 0 bob r/a/b",
      "f 3 1000 r/a/b/x", "f 9 carol r/leaf/f", "f 4 alice r/leaf/g",
  };
  std::mt19937 random(11);
  for (int round = 0; round < 6; ++round) {
    listed l(records, round % 2 == 0 ? '\0' : '\n', true);
    EXPECT_EQ(l.diag.collected(), "");
    // Only directories with subdirectories get pages; the leaves' figures
    // are given back once they have joined their parents'.
    EXPECT_EQ(describe_owners(l.root, l.ledger),
              "r 0010:1/0 1000:2/103 alice:2/16 carol:1/9\n"
              "r/a 0010:1/0 1000:1/3 alice:1/5\n"
              "2 kept\n");
    std::shuffle(records.begin(), records.end(), random);
  }
}

// A record of the other shape than the first is a bad record: a listing
// with owners says so, one without says what it always said.
TEST(ListingOwners, ARecordOfTheOtherShapeIsABadRecordAndTheRestCounts) {
  const std::vector<std::string> named = {"d 0 u r", "f 1 r/a", "f 2  r/a", "f 3 u", "f 4 u ", "f 5 u r/b"};
  listed with_owners(named, '\0', true);
  EXPECT_EQ(with_owners.diag.collected(),
            "Fehlerhafter Listeneintrag 2: Eigentuemer fehlt\r\n"
            "Fehlerhafter Listeneintrag 3: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 4: Format fehlerhaft\r\n"
            "Fehlerhafter Listeneintrag 5: Format fehlerhaft\r\n");
  EXPECT_EQ(describe_owners(with_owners.root, with_owners.ledger), "r u:1/5\n1 kept\n");

  // Names with blanks, first and later.
  listed spaced({"d 0 domain users r", "f 7 domain users r/a b", "f 1 u r/c"}, '\0', true);
  EXPECT_EQ(spaced.diag.collected(), "");
  EXPECT_EQ(describe_owners(spaced.root, spaced.ledger), "r domain users:1/7 u:1/1\n1 kept\n");

  const listed plain({"d 0 r", "f 1 u r/a", "f 2 r/b"}, '\n', false);
  EXPECT_EQ(plain.diag.collected(), "Fehlerhafter Listeneintrag 2: Pfad ausserhalb der Wurzel\r\n");
  EXPECT_EQ(plain.root->size, byte_total(2));
}

// Only the root and the directories that keep their subdirectories get
// pages, and only they keep figures.
TEST(ListingOwners, DirectoriesTheRuleDoesNotKeepKeepNoFigures) {
  const std::vector<std::string> records = {"f 10 a r/a/b/c/f", "f 1000 b r/x/f", "f 5 c r/x/y/f"};
  listed deep(records, '\0', true, {.max_depth = 1, .min_total = {}});
  EXPECT_EQ(describe_owners(deep.root, deep.ledger),
            "r a:1/10 b:1/1000 c:1/5\nr/a a:1/10\nr/x b:1/1000 c:1/5\n3 kept\n");
  listed large(records, '\0', true, {.max_depth = UINT64_MAX, .min_total = byte_total(100)});
  EXPECT_EQ(describe_owners(large.root, large.ledger), "r a:1/10 b:1/1000 c:1/5\nr/x b:1/1000 c:1/5\n2 kept\n");
}

// Where directories are counted, their figures are told just before, in the
// same order (children first, by name), named as the listing names them;
// without records the root is told all the same.
TEST(ListingOwners, FiguresAreToldAsEachDirectoryIsCountedAndBeforeTheyGo) {
  for (const bool empty : {false, true}) {
    const std::vector<std::string> records = {"f 10 ann r/b/c/f", "f 20 bo r/a/f", "f 5 ann r/f", "f 1 cy r/b/g"};
    std::string text;
    if (!empty) {
      for (const std::string& record : records) text += record + '\n';
    }
    fake_file_system files;
    files.inputs["list"] = {.bytes = text};
    diagnostics diag(verbosity::quiet, -1);
    directory_tree tree(diag);
    directory_node* root = quern_test::add_node(tree, nullptr, "r");
    owner_ledger ledger;
    std::vector<std::string> told;
    ledger.on_counted([&told, &ledger](const directory_node* node, const owner_figures& figures) {
      std::string line = node_path(node);
      for (const owner_share& share : figures.shares()) {
        line += " " + ledger.name(share.owner) + ":" + std::to_string(share.files) + "/";
        append_decimal(line, share.bytes);
      }
      told.push_back(line);
    });
    std::vector<std::string> counted;
    opened_listing listing = open_listing({"list", '\n'}, "r", files, size_t{1} << 20);
    read_listing(tree, root, "r", listing, '\n', diag, {.max_depth = 0, .min_total = {}}, &ledger,
                 [&told, &counted](directory_node* node) {
                   counted.push_back(node_path(node));
                   EXPECT_EQ(told.size(), counted.size());
                 });
    if (empty) {
      EXPECT_EQ(told, std::vector<std::string>{"r"});
      continue;
    }
    EXPECT_EQ(told, (std::vector<std::string>{"r/a bo:1/20", "r/b/c ann:1/10", "r/b ann:1/10 cy:1/1",
                                              "r ann:2/15 bo:1/20 cy:1/1"}));
    EXPECT_EQ(counted, (std::vector<std::string>{"r/a", "r/b/c", "r/b", "r"}));
    EXPECT_EQ(quern_test::describe_owners(root, ledger), "r ann:2/15 bo:1/20 cy:1/1\n1 kept\n");
  }
}

}  // namespace
}  // namespace quern
