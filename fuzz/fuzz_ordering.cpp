// The orderings against the plain exchange sort: a directory's list sorted
// page after page, each order starting from the one the page before left,
// with keys full of ties, with 64-bit extremes and sums that wrap, and with
// names that repeat.
#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "base/diagnostics.h"
#include "fuzz_input.h"
#include "report/ordering.h"
#include "tree/directory_node.h"

namespace {

using quern::directory_node;
using quern::sort_order;

constexpr size_t kMostEntries = 3000;

constexpr sort_order kPageSequence[] = {sort_order::size,     sort_order::subdirs, sort_order::files,
                                        sort_order::symlinks, sort_order::devices, sort_order::name};
constexpr std::pair<int64_t directory_node::*, int64_t directory_node::*> kFields[] = {
    {&directory_node::size, &directory_node::recursize},
    {&directory_node::recursubdirs, &directory_node::recursubdirs},
    {&directory_node::files, &directory_node::recurfiles},
    {&directory_node::symlinks, &directory_node::recursymlinks},
    {&directory_node::devices, &directory_node::recurdevices}};

const char* const kNames[16] = {"",  "a",  "A", "b",  "ab",   "aa", "\xff", "a\xff",
                                ".", "..", "B", "ba", "\x01", "z",  "Z",    "abc"};

int64_t wrapped(uint64_t value) { return static_cast<int64_t>(value); }

int64_t total(const directory_node* node, sort_order order) {
  const auto [own, below] = kFields[static_cast<int>(order)];
  // A child has no subdirectories of its own here: its count below stands
  // for the whole total.
  if (order == sort_order::subdirs) return node->*below;
  return wrapped(static_cast<uint64_t>(node->*own) + static_cast<uint64_t>(node->*below));
}

// Plain pointers: library calls would not be inlined into a function built
// without the instrumentation, and would be instrumented themselves.
UNINSTRUMENTED_REFERENCE void exchange_sort_keyed(int64_t* keys, directory_node** list, size_t n) {
  for (size_t i = 0; i + 1 < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      if (keys[i] < keys[j]) {
        const int64_t key = keys[i];
        keys[i] = keys[j];
        keys[j] = key;
        directory_node* const node = list[i];
        list[i] = list[j];
        list[j] = node;
      }
    }
  }
}

// Keys are taken out first, names as their negated rank among all names:
// lists of thousands make millions of comparisons.
void exchange_sort(std::vector<directory_node*>& list, sort_order order) {
  std::vector<int64_t> keys(list.size());
  if (order == sort_order::name) {
    std::vector<const char*> names;
    for (const directory_node* node : list) names.push_back(node->name);
    const auto before = [](const char* a, const char* b) { return std::strcmp(a, b) < 0; };
    std::sort(names.begin(), names.end(), before);
    for (size_t i = 0; i < list.size(); ++i) {
      keys[i] = -(std::lower_bound(names.begin(), names.end(), list[i]->name, before) - names.begin());
    }
  } else {
    for (size_t i = 0; i < list.size(); ++i) keys[i] = total(list[i], order);
  }
  exchange_sort_keyed(keys.data(), list.data(), list.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input input(data, size);
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min(), kMax = std::numeric_limits<int64_t>::max();
  int64_t palette[16] = {kMin,
                         kMin + 1,
                         -1,
                         0,
                         1,
                         2,
                         3,
                         7,
                         999,
                         1000,
                         int64_t{1} << 31,
                         (int64_t{1} << 32) - 1,
                         int64_t{1} << 32,
                         int64_t{1} << 53,
                         kMax - 1,
                         kMax};
  // Which orders add a multiple of the position to their keys, so that
  // long lists get many distinct keys; whether names are made distinct.
  const uint8_t mode = input.byte();
  for (size_t replaced = input.byte() % 17, slot = 0; slot < replaced; ++slot) palette[slot] = wrapped(input.u64());

  quern::diagnostics quiet(quern::verbosity::quiet, -1);
  quern::directory_tree tree(quiet);
  directory_node* parent = tree.create_directory_node();
  tree.set_name(parent, "p", 1);
  for (size_t index = 0; !input.empty() && index < kMostEntries; ++index) {
    const uint8_t entry = input.byte();
    const size_t base = entry & 15, step = entry >> 4;
    directory_node* child = tree.create_directory_node();
    std::string name = kNames[(base + step) % 16];
    if (mode & 0x20) name += std::to_string(index);
    tree.set_name(child, name.data(), name.size());
    tree.add_subdir_to_directory(parent, child);
    for (size_t o = 0; o < 5; ++o) {
      const uint64_t spread = (mode >> o) & 1 ? static_cast<uint64_t>(palette[15 - o]) * index : 0;
      const int64_t key = wrapped(static_cast<uint64_t>(palette[(base + o * step) % 16]) + spread);
      const auto [own, below] = kFields[o];
      if (o == 1) {
        child->*below = key;
        continue;
      }
      // Split over the two counts so that their sum has to wrap back.
      const int64_t split = palette[(index + o) % 16];
      child->*own = wrapped(static_cast<uint64_t>(key) - static_cast<uint64_t>(split));
      child->*below = split;
    }
  }

  std::vector<directory_node*> expected(parent->subdirpointer, parent->subdirpointer + parent->currentsubdirs());
  for (const sort_order order : kPageSequence) {
    quern::my_sort(parent, order, quiet);
    exchange_sort(expected, order);
    const std::vector<directory_node*> sorted(parent->subdirpointer, parent->subdirpointer + parent->currentsubdirs());
    require(sorted == expected, "each page's order is the one the exchange sort leaves");
  }
  return 0;
}
