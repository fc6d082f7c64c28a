#include "report/ordering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "tree/directory_node.h"

namespace quern {
namespace {

constexpr sort_order kCounted[] = {sort_order::size, sort_order::subdirs, sort_order::files, sort_order::symlinks,
                                   sort_order::devices};
// The order in which a directory's pages sort its list, each from the last.
constexpr sort_order kPageSequence[] = {sort_order::size,     sort_order::subdirs, sort_order::files,
                                        sort_order::symlinks, sort_order::devices, sort_order::name};

int64_t total(const directory_node* node, sort_order order) {
  switch (order) {
    case sort_order::size: return node->total_size();
    case sort_order::subdirs: return node->total_subdirs();
    case sort_order::files: return node->total_files();
    case sort_order::symlinks: return node->total_symlinks();
    case sort_order::devices: return node->total_devices();
    case sort_order::name: break;
  }
  return 0;
}

// Splits the total over the own and the below count, wrapping if need be.
void set_total(directory_node* node, sort_order order, int64_t value) {
  const int64_t own = static_cast<int64_t>(static_cast<uint64_t>(value) - 7);
  switch (order) {
    case sort_order::size: node->size = own, node->recursize = 7; break;
    case sort_order::subdirs: node->subdirs = own, node->recursubdirs = 7; break;
    case sort_order::files: node->files = own, node->recurfiles = 7; break;
    case sort_order::symlinks: node->symlinks = own, node->recursymlinks = 7; break;
    case sort_order::devices: node->devices = own, node->recurdevices = 7; break;
    case sort_order::name: break;
  }
}

const char* trace_word(sort_order order) {
  constexpr const char* words[] = {"size", "subdir", "files", "symlink", "device", "name"};
  return words[static_cast<int>(order)];
}

// The exchange sort, written out plainly; with a trace it records every
// comparison as the level-4 diagnostics do.
std::vector<directory_node*> exchange_sorted(std::vector<directory_node*> list, sort_order order,
                                             std::string* trace = nullptr) {
  std::vector<int64_t> keys;
  for (const directory_node* node : list) keys.push_back(total(node, order));
  for (size_t i = 0; i + 1 < list.size(); ++i) {
    for (size_t j = i + 1; j < list.size(); ++j) {
      if (trace != nullptr) {
        *trace += std::string("**** sorting by ") + trace_word(order) + " " + node_id(list[i]) + " and " +
                  node_id(list[j]) + "\r\n";
      }
      const bool follows =
          order == sort_order::name ? std::strcmp(list[i]->name, list[j]->name) > 0 : keys[i] < keys[j];
      if (follows) std::swap(list[i], list[j]), std::swap(keys[i], keys[j]);
    }
  }
  return list;
}

class OrderingTest : public ::testing::Test {
 protected:
  // Replaces the parent's list with the given number of new children.
  std::vector<directory_node*> make_children(size_t count) {
    parent_ = tree_.create_directory_node();
    for (size_t i = 0; i < count; ++i) tree_.add_subdir_to_directory(parent_, tree_.create_directory_node());
    return list();
  }
  std::vector<directory_node*> named_children(const std::vector<std::string>& names) {
    std::vector<directory_node*> nodes = make_children(names.size());
    for (size_t i = 0; i < names.size(); ++i) tree_.set_name(nodes[i], names[i].data(), names[i].size());
    return nodes;
  }
  std::vector<directory_node*> list() const {
    return {parent_->subdirpointer, parent_->subdirpointer + parent_->currentsubdirs};
  }
  std::vector<std::string> sorted_names(sort_order order) {
    my_sort(parent_, order, quiet_);
    std::vector<std::string> names;
    for (const directory_node* node : list()) names.emplace_back(node->name);
    return names;
  }

  diagnostics quiet_{0, -1};
  directory_tree tree_{quiet_};
  directory_node* parent_ = nullptr;
};

TEST_F(OrderingTest, EqualKeysKeepTheOrderTheExchangesLeave) {
  for (sort_order order : kCounted) {
    std::vector<directory_node*> n = named_children({"a1", "a2", "b"});
    set_total(n[0], order, 5), set_total(n[1], order, 5), set_total(n[2], order, 9);
    EXPECT_EQ(sorted_names(order), (std::vector<std::string>{"b", "a2", "a1"}));

    n = named_children({"a1", "b", "a2"});
    set_total(n[0], order, 5), set_total(n[1], order, 9), set_total(n[2], order, 5);
    EXPECT_EQ(sorted_names(order), (std::vector<std::string>{"b", "a1", "a2"}));

    const std::vector<directory_node*> before = make_children(50);
    for (directory_node* node : before) set_total(node, order, 3);
    my_sort(parent_, order, quiet_);
    EXPECT_EQ(list(), before);
  }
}

TEST_F(OrderingTest, NamesAscendByUnsignedBytes) {
  std::vector<std::string> names = {"B", "a", "ab"};
  do {
    named_children(names);
    EXPECT_EQ(sorted_names(sort_order::name), (std::vector<std::string>{"B", "a", "ab"}));
  } while (std::next_permutation(names.begin(), names.end()));
  named_children({"\xc3\xa4", "z", "Z"});
  EXPECT_EQ(sorted_names(sort_order::name), (std::vector<std::string>{"Z", "z", "\xc3\xa4"}));
}

TEST_F(OrderingTest, TraceShowsEveryComparisonInExchangeSequence) {
  for (size_t count : {size_t{2}, size_t{10}, size_t{31}}) {
    for (sort_order order : kPageSequence) {
      std::vector<directory_node*> nodes = make_children(count);
      for (size_t i = 0; i < count; ++i) {
        const std::string name = "n" + std::to_string((i * 7) % count);
        tree_.set_name(nodes[i], name.data(), name.size());
        set_total(nodes[i], order, static_cast<int64_t>(i % 3));
      }
      std::string expected;
      const std::vector<directory_node*> sorted = exchange_sorted(nodes, order, &expected);
      diagnostics trace(4, -1);
      my_sort(parent_, order, trace);
      EXPECT_EQ(trace.collected(), expected);
      EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), count * (count - 1) / 2);
      EXPECT_EQ(list(), sorted);

      diagnostics level3(3, -1);
      my_sort(parent_, order, level3);
      EXPECT_EQ(level3.collected(), "");
    }
  }
}

enum class pattern { few, wide, one_tie, ascending, descending, equal, extremes };

std::vector<int64_t> make_totals(pattern shape, size_t count, std::mt19937_64& rng) {
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  const int64_t extremes[] = {kMin, kMin + 1, -1, 0, 1, (int64_t{1} << 32) - 1, int64_t{1} << 32, kMax - 1, kMax};
  const int64_t distinct = 1 + static_cast<int64_t>(rng() % 4);
  std::vector<int64_t> totals(count);
  for (size_t i = 0; i < count; ++i) {
    const int64_t index = static_cast<int64_t>(i);
    switch (shape) {
      case pattern::few: totals[i] = static_cast<int64_t>(rng() % static_cast<uint64_t>(distinct)); break;
      case pattern::wide:
      case pattern::one_tie: totals[i] = static_cast<int64_t>(rng()); break;
      case pattern::ascending: totals[i] = index / distinct; break;
      case pattern::descending: totals[i] = -index / distinct; break;
      case pattern::equal: totals[i] = 42; break;
      case pattern::extremes: totals[i] = extremes[rng() % std::size(extremes)]; break;
    }
  }
  if (shape == pattern::one_tie && count > 1) totals[rng() % count] = totals[rng() % count];
  return totals;
}

std::string random_name(std::mt19937_64& rng) {
  static const char alphabet[] = {'A', 'B', 'a', 'b', '.', '\xc3', '\xe4'};
  std::string name(1 + rng() % 4, ' ');
  for (char& c : name) c = alphabet[rng() % sizeof alphabet];
  return name;
}

TEST_F(OrderingTest, SuccessivePagesMatchTheExchangeSort) {
  std::mt19937_64 rng(20240611);
  for (pattern shape : {pattern::few, pattern::wide, pattern::one_tie, pattern::ascending, pattern::descending,
                        pattern::equal, pattern::extremes}) {
    std::vector<size_t> counts(61);
    std::iota(counts.begin(), counts.end(), 0);
    counts.insert(counts.end(), {100, 300});
    for (size_t count : counts) {
      for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("pattern " + std::to_string(static_cast<int>(shape)) + ", " + std::to_string(count) +
                     " entries, round " + std::to_string(round));
        std::vector<directory_node*> nodes = make_children(count);
        std::set<std::string> used;
        for (directory_node* node : nodes) {
          std::string name = random_name(rng);
          while (!used.insert(name).second) name = random_name(rng);
          tree_.set_name(node, name.data(), name.size());
        }
        for (sort_order order : kCounted) {
          const std::vector<int64_t> totals = make_totals(shape, count, rng);
          for (size_t i = 0; i < count; ++i) set_total(nodes[i], order, totals[i]);
        }
        for (sort_order order : kPageSequence) {
          const std::vector<directory_node*> expected = exchange_sorted(list(), order);
          my_sort(parent_, order, quiet_);
          ASSERT_EQ(list(), expected) << "order " << trace_word(order);
        }
      }
    }
  }
}

TEST_F(OrderingTest, LongListWithFewKeysMatchesTheExchangeSort) {
  std::mt19937_64 rng(7);
  std::vector<directory_node*> nodes = make_children(20000);
  for (directory_node* node : nodes) set_total(node, sort_order::size, static_cast<int64_t>(rng() % 10) << 40);
  const std::vector<directory_node*> expected = exchange_sorted(nodes, sort_order::size);
  my_sort(parent_, sort_order::size, quiet_);
  EXPECT_EQ(list(), expected);
}

}  // namespace
}  // namespace quern
