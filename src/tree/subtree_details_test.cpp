#include "tree/subtree_details.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "base/diagnostics.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::describe;

// The years count back from the run's start in UTC: the first second of a
// year is in it, the last second before it in the year before, and a time
// after the start in a class of its own, even within the same second's year.
TEST(AgeClasses, YearsBeginAtTheirFirstSecondInUtcAndTimesAfterTheStartAreLater) {
  const int64_t start_of_2026 = 1767225600;  // 2026-01-01T00:00:00Z
  const age_classes ages(start_of_2026 + 3600);
  EXPECT_EQ(ages.class_of(start_of_2026 + 3601), kAgeLater);
  EXPECT_EQ(ages.class_of(INT64_MAX), kAgeLater);
  EXPECT_EQ(ages.class_of(start_of_2026 + 3600), 1u);
  EXPECT_EQ(ages.class_of(start_of_2026), 1u);
  EXPECT_EQ(ages.class_of(start_of_2026 - 1), 2u);
  EXPECT_EQ(ages.year(1), 2026);
  EXPECT_EQ(ages.year(kAgeYears), 2017);
  const int64_t start_of_2017 = 1483228800;
  EXPECT_EQ(ages.class_of(start_of_2017), kAgeYears);
  EXPECT_EQ(ages.class_of(start_of_2017 - 1), kAgeOlder);
  EXPECT_EQ(ages.class_of(INT64_MIN), kAgeOlder);
  // 2024 is a leap year: its last day still belongs to it.
  EXPECT_EQ(ages.class_of(1735689599), 3u);  // 2024-12-31T23:59:59Z
}

// The largest files of a subtree: ties by path, the longer limit holds
// where lists join, and only a directory's own files are placed with it.
TEST(LargestFiles, RankByBytesThenPathAndJoinedListsKeepTheirLimit) {
  const auto paths = [](const largest_files& largest) {
    std::string text;
    for (const auto& file : largest.files())
      text += std::string(file->path()) + "=" + std::to_string(file->bytes()) + " ";
    return text;
  };
  largest_files own(3);
  for (const char* path : {"d/b", "d/\xff", "d/a"}) own.rank(path, 10, 0, 0);
  own.rank("d/small", 1, 0, 0);
  own.rank("d/big", 11, 0, 0);
  EXPECT_EQ(paths(own), "d/big=11 d/a=10 d/b=10 ");
  own.place_own_files(7, true);

  largest_files parent(3);
  parent.rank("top", 10, 0, 0);
  parent.merge(own);
  EXPECT_EQ(paths(parent), "d/big=11 d/a=10 d/b=10 ");
  parent.place_own_files(1, false);
  EXPECT_EQ(parent.files()[0]->directory_id(), 7u);
  EXPECT_TRUE(parent.files()[0]->directory_has_pages());

  largest_files none;
  none.merge(parent);
  EXPECT_EQ(none.limit(), 3u);
  none.rank("e", 12, 0, 0);
  EXPECT_EQ(paths(none), "e=12 d/big=11 d/a=10 ");
  // The entry is shared, not copied.
  EXPECT_EQ(none.files()[1].get(), own.files()[0].get());
}

// A directory of many files keeps the largest by name, ties by name, as
// sorting all of them would, while the names of those pushed out give their
// room back.
TEST(LargestFiles, CandidatesOfOneDirectoryAreTheLargestOfAllItsFiles) {
  largest_candidates candidates;
  candidates.reset(7);
  std::vector<std::pair<uint64_t, std::string>> all;
  uint64_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const uint64_t bytes = (state >> 33) % 50 + static_cast<uint64_t>(i / 1000);
    const std::string name = "file-" + std::to_string(state >> 40);
    candidates.offer(name, bytes, 0, 0);
    all.emplace_back(bytes, name);
  }
  std::sort(all.begin(), all.end(),
            [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
  std::vector<std::pair<uint64_t, std::string>> kept;
  for (const auto& candidate : candidates.candidates())
    kept.emplace_back(candidate.bytes, std::string(candidates.name(candidate)));
  std::sort(kept.begin(), kept.end(),
            [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
  all.resize(7);
  EXPECT_EQ(kept, all);
  EXPECT_LT(candidates.footprint(), 20000u);
}

int looked_up = 0;

std::optional<std::string> named_below_ten(owner_id user) {
  ++looked_up;
  if (user >= 10) return std::nullopt;
  return "user" + std::to_string(user);
}

TEST(OwnerLedger, UserNumbersAreLookedUpOnceAndShownAsNumbersWithoutANameAndListedNamesReplaceThem) {
  looked_up = 0;
  detail_ledger users({.owners = true}, named_below_ten);
  EXPECT_EQ(users.name(3), "user3");
  EXPECT_EQ(users.name(4000000000u), "4000000000");
  EXPECT_EQ(users.name(3), "user3");
  EXPECT_EQ(users.name(4000000000u), "4000000000");
  EXPECT_EQ(looked_up, 2);

  detail_ledger listed({.owners = true}, named_below_ten);
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
  detail_ledger ledger({.owners = true}, counted_name);
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
  detail_ledger ledger({.owners = true});
  subtree_details figures;
  figures.owners.add(1, 10, 1);
  ledger.keep(child, figures);
  figures.owners.add(2, 5, 1);
  ledger.keep(root, figures);
  ledger.keep(empty, subtree_details());
  EXPECT_EQ(ledger.kept(), 2u);
  EXPECT_EQ(describe(ledger.details(child).owners), "1:1/10 ");
  EXPECT_EQ(describe(ledger.details(root).owners), "1:1/10 2:1/5 ");
  EXPECT_TRUE(ledger.details(empty).empty());

  ledger.pages_written(child);
  ledger.pages_written(root);
  EXPECT_TRUE(ledger.details(child).empty());
  EXPECT_EQ(describe(ledger.details(root).owners), "1:1/10 2:1/5 ");
  EXPECT_EQ(ledger.kept(), 1u);
}

}  // namespace
}  // namespace quern
