// The orderings against the plain exchange sort: a directory's list sorted
// page after page, each order starting from the one the page before left,
// with keys full of ties, with 64-bit extremes and sums that wrap, and with
// names that repeat.
#include <limits>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "fuzz_input.h"
#include "report/ordering.h"
#include "support/counters.h"
#include "support/exchange_sort.h"
#include "support/tree_nodes.h"
#include "tree/directory_node.h"

namespace {

using quern::directory_node;

constexpr size_t kMostEntries = 3000;

const char* const kNames[16] = {"",  "a",  "A", "b",  "ab",   "aa", "\xff", "a\xff",
                                ".", "..", "B", "ba", "\x01", "z",  "Z",    "abc"};

int64_t wrapped(uint64_t value) { return static_cast<int64_t>(value); }

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
  directory_node* parent = quern_test::add_node(tree, nullptr, "p");
  for (size_t index = 0; !input.empty() && index < kMostEntries; ++index) {
    const uint8_t entry = input.byte();
    const size_t base = entry & 15, step = entry >> 4;
    std::string name = kNames[(base + step) % 16];
    if (mode & 0x20) name += std::to_string(index);
    directory_node* child = quern_test::add_node(tree, parent, name);
    for (size_t o = 0; o < 5; ++o) {
      const uint64_t spread = (mode >> o) & 1 ? static_cast<uint64_t>(palette[15 - o]) * index : 0;
      const int64_t key = wrapped(static_cast<uint64_t>(palette[(base + o * step) % 16]) + spread);
      const quern_test::counter& count = quern_test::kCounters[o];
      // A child has no subdirectories of its own: its count below stands
      // for the whole total.
      if (static_cast<quern::sort_order>(o) == quern::sort_order::subdirs) {
        child->*count.below = key;
        continue;
      }
      // Split over the two counts so that their sum has to wrap back.
      const int64_t split = palette[(index + o) % 16];
      child->*count.own = wrapped(static_cast<uint64_t>(key) - static_cast<uint64_t>(split));
      child->*count.below = split;
    }
  }

  std::vector<directory_node*> expected = quern_test::children(parent);
  for (const quern_test::page_order& page : quern_test::kPageOrders) {
    quern::my_sort(parent, page.order, quiet);
    quern_test::exchange_sort(expected, page.order);
    require(quern_test::children(parent) == expected, "each page's order is the one the exchange sort leaves");
  }
  return 0;
}
