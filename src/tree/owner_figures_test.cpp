#include "tree/owner_figures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "base/diagnostics.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

// owner: files/bytes, in the order of the shares.
std::string describe(const owner_figures& figures) {
  std::string text;
  for (const owner_share& share : figures.shares()) {
    std::string bytes;
    append_decimal(bytes, share.bytes);
    text += std::to_string(share.owner) + ":" + std::to_string(share.files) + "/" + bytes + " ";
  }
  return text;
}

TEST(OwnerFigures, EntriesAddUpPerOwnerAndMergesKeepTheOwnersSorted) {
  owner_figures figures;
  figures.add(7, 100, 1);
  figures.add(3, 5, 0);  // a link: bytes, no file
  figures.add(7, UINT64_MAX, 1);
  EXPECT_EQ(describe(figures), "3:0/5 7:2/18446744073709551715 ");

  // Only owners present already: added in place.
  owner_figures same;
  same.add(7, 1, 1);
  figures.merge(same);
  EXPECT_EQ(describe(figures), "3:0/5 7:3/18446744073709551716 ");

  // New owners before, between and after the present ones.
  owner_figures other;
  for (const owner_id owner : {9u, 1u, 5u, 3u}) other.add(owner, owner, 1);
  figures.merge(other);
  EXPECT_EQ(describe(figures), "1:1/1 3:1/8 5:1/5 7:3/18446744073709551716 9:1/9 ");

  owner_figures empty;
  figures.merge(empty);
  empty.merge(figures);
  EXPECT_EQ(describe(empty), describe(figures));

  // One owner alone, and then a second, before and after it.
  owner_figures single;
  single.add(5, 1, 1);
  owner_figures more;
  more.add(5, 2, 1);
  single.merge(more);
  EXPECT_EQ(describe(single), "5:2/3 ");
  more.add(6, 1, 0);
  single.merge(more);
  EXPECT_EQ(describe(single), "5:3/5 6:0/1 ");
  single.add(4, 0, 1);
  EXPECT_EQ(describe(single), "4:1/0 5:3/5 6:0/1 ");
  single.clear();
  EXPECT_TRUE(single.empty());
  single.add(9, 9, 9);
  EXPECT_EQ(describe(single), "9:9/9 ");
}

int looked_up = 0;

std::optional<std::string> named_below_ten(owner_id user) {
  ++looked_up;
  if (user >= 10) return std::nullopt;
  return "user" + std::to_string(user);
}

TEST(OwnerLedger, UserNumbersAreLookedUpOnceAndShownAsNumbersWithoutANameAndListedNamesReplaceThem) {
  looked_up = 0;
  owner_ledger users(named_below_ten);
  EXPECT_EQ(users.name(3), "user3");
  EXPECT_EQ(users.name(4000000000u), "4000000000");
  EXPECT_EQ(users.name(3), "user3");
  EXPECT_EQ(users.name(4000000000u), "4000000000");
  EXPECT_EQ(looked_up, 2);

  owner_ledger listed(named_below_ten);
  listed.name_listed_owners({"1000", "alice"});
  EXPECT_EQ(listed.name(0), "1000");
  EXPECT_EQ(listed.name(1), "alice");
  EXPECT_EQ(looked_up, 2);
}

std::atomic<int> concurrent_lookups{0};

std::optional<std::string> counted_name(owner_id user) {
  concurrent_lookups.fetch_add(1);
  // Long enough for other threads to ask for the same name meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return "u" + std::to_string(user);
}

TEST(OwnerLedger, ThreadsAskingAtOnceGetOneLookUpPerNumberAndAllTheSameName) {
  owner_ledger ledger(counted_name);
  std::vector<std::thread> threads;
  std::vector<std::map<owner_id, std::string>> seen(8);
  for (size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&ledger, &seen, t] {
      for (owner_id user = 0; user < 20; ++user) seen[t][user % 5] = ledger.name(user % 5);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(concurrent_lookups.load(), 5);
  for (const auto& names : seen) {
    ASSERT_EQ(names.size(), 5u);
    for (const auto& [user, name] : names) EXPECT_EQ(name, "u" + std::to_string(user));
  }
}

TEST(OwnerLedger, FiguresAreKeptUntilThePagesAreWrittenButTheRootsStayAndNothingIsKeptForNoOwners) {
  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = quern_test::add_node(tree, nullptr, "r");
  directory_node* child = quern_test::add_node(tree, root, "c");
  directory_node* empty = quern_test::add_node(tree, root, "e");
  owner_ledger ledger;
  owner_figures figures;
  figures.add(1, 10, 1);
  ledger.keep(child, figures);
  figures.add(2, 5, 1);
  ledger.keep(root, figures);
  ledger.keep(empty, owner_figures());
  EXPECT_EQ(ledger.kept(), 2u);
  EXPECT_EQ(describe(ledger.figures(child)), "1:1/10 ");
  EXPECT_EQ(describe(ledger.figures(root)), "1:1/10 2:1/5 ");
  EXPECT_TRUE(ledger.figures(empty).empty());

  ledger.pages_written(child);
  ledger.pages_written(root);
  EXPECT_TRUE(ledger.figures(child).empty());
  EXPECT_EQ(describe(ledger.figures(root)), "1:1/10 2:1/5 ");
  EXPECT_EQ(ledger.kept(), 1u);
}

}  // namespace
}  // namespace quern
