#include "report/ordering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "support/counters.h"
#include "support/exchange_sort.h"
#include "support/tree_nodes.h"
#include "tree/directory_node.h"

namespace quern {
namespace {

using quern_test::counter_of;
using quern_test::kCounters;
using quern_test::kPageOrders;

// Splits the total over the own and the below count, so that only their
// sum is the key.
void set_total(directory_node* node, sort_order order, const byte_total& value) {
  const quern_test::counter& count = counter_of(order);
  const byte_total below = std::min(value, byte_total(7));
  count.set_own(*node, byte_change::between(below, value).magnitude);
  count.set_below(*node, below);
}

class OrderingTest : public ::testing::Test {
 protected:
  // Replaces the parent's list with new children of these names.
  std::vector<directory_node*> make_children(const std::vector<std::string>& names) {
    parent_ = quern_test::add_node(tree_, nullptr, "p");
    for (const std::string& name : names) quern_test::add_node(tree_, parent_, name);
    return list();
  }
  std::vector<directory_node*> list() const { return quern_test::children(parent_); }
  diagnostics quiet_{verbosity::quiet, -1};
  directory_tree tree_{quiet_};
  directory_node* parent_ = nullptr;
};

TEST_F(OrderingTest, EqualKeysKeepTheOrderTheExchangesLeave) {
  for (size_t field = 0; field < std::size(kCounters); ++field) {
    const auto order = static_cast<sort_order>(field);
    for (const std::vector<uint64_t>& totals : {std::vector<uint64_t>{5, 5, 9}, std::vector<uint64_t>{5, 9, 5}}) {
      const std::vector<directory_node*> n = make_children({"a", "b", "c"});
      for (size_t i = 0; i < 3; ++i) set_total(n[i], order, byte_total(totals[i]));
      my_sort(parent_, order, quiet_);
      // The exchanges reverse the ties of {5, 5, 9} and keep those of {5, 9, 5}.
      const std::vector<directory_node*> expected =
          totals[1] == 5 ? std::vector{n[2], n[1], n[0]} : std::vector{n[1], n[0], n[2]};
      EXPECT_EQ(list(), expected);
    }
  }
}

// Key shapes: few keys, wide keys, ascending and descending runs, and the
// extremes: of counts up to 2^63 - 1, of byte sums beyond 64 bits, where
// keys also tie in one of their words.
byte_total make_total(int shape, uint64_t index, uint64_t distinct, sort_order order, std::mt19937_64& rng) {
  constexpr uint64_t kCountMax = INT64_MAX;
  const bool bytes = order == sort_order::size;
  const byte_total extremes[] = {byte_total(0),
                                 byte_total(1),
                                 byte_total((uint64_t{1} << 32) - 1),
                                 byte_total(uint64_t{1} << 32),
                                 byte_total(kCountMax - 1),
                                 byte_total(kCountMax),
                                 byte_total::from_words(bytes ? 1 : 0, 0),
                                 byte_total::from_words(bytes ? 1 : 0, 1),
                                 byte_total::from_words(bytes ? ~uint64_t{0} : 0, ~uint64_t{0} >> (bytes ? 0 : 1))};
  switch (shape) {
    case 0: return byte_total(rng() % distinct);
    case 1: return bytes ? byte_total::from_words(rng() % 3, rng()) : byte_total(rng() & kCountMax);
    case 2: return byte_total(index / distinct);
    case 3: return byte_total(kCountMax - index / distinct);
    default: return extremes[rng() % std::size(extremes)];
  }
}

std::string random_name(std::mt19937_64& rng) {
  static const char alphabet[] = {'A', 'B', 'a', 'b', '.', '\xc3', '\xe4'};
  std::string name(1 + rng() % 4, ' ');
  for (char& c : name) c = alphabet[rng() % sizeof alphabet];
  return name;
}

TEST_F(OrderingTest, SuccessivePagesMatchTheExchangeSort) {
  std::mt19937_64 rng(20240611);
  std::vector<size_t> counts(61);
  std::iota(counts.begin(), counts.end(), 0);
  counts.insert(counts.end(), {100, 300, 1000});
  for (int shape = 0; shape < 5; ++shape) {
    for (size_t count : counts) {
      for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("shape " + std::to_string(shape) + ", " + std::to_string(count) + " entries, round " +
                     std::to_string(round));
        std::set<std::string> names;
        while (names.size() < count) names.insert(random_name(rng));
        std::vector<std::string> shuffled(names.begin(), names.end());
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        const std::vector<directory_node*> nodes = make_children(shuffled);
        for (size_t field = 0; field < std::size(kCounters); ++field) {
          const auto order = static_cast<sort_order>(field);
          const uint64_t distinct = 1 + rng() % 4;
          for (size_t i = 0; i < count; ++i) set_total(nodes[i], order, make_total(shape, i, distinct, order, rng));
          // A single tie among otherwise distinct keys.
          if (shape == 1 && round % 2 == 1 && count > 1)
            set_total(nodes[rng() % count], order, quern_test::total(nodes[rng() % count], counter_of(order)));
        }
        // Traced comparisons make the sort take the plain way; other rounds
        // take the fast paths, and the level below traces nothing of them.
        const bool traced = round == 0 && count <= 60;
        for (const quern_test::page_order& page : kPageOrders) {
          std::string trace;
          std::vector<directory_node*> expected = list();
          quern_test::exchange_sort(expected, page.order, traced ? &trace : nullptr);
          diagnostics diag(traced ? verbosity::comparisons : verbosity::operations, -1);
          my_sort(parent_, page.order, diag);
          ASSERT_EQ(list(), expected) << "page " << page.key;
          ASSERT_EQ(diag.collected(), trace);
          ASSERT_EQ(std::count(trace.begin(), trace.end(), '\n'), traced ? count * (count - 1) / 2 : 0);
        }
      }
    }
  }
}

}  // namespace
}  // namespace quern
