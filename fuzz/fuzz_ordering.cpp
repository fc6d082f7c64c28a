// The orderings against the plain exchange sort: a directory's list sorted
// page after page, each order starting from the one the page before left,
// with keys full of ties, with counts up to their largest value, byte sums
// beyond 64 bits that tie in one word, and with names that repeat.
#include <algorithm>
#include <cstdint>
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input input(data, size);
  constexpr uint64_t kCountMax = INT64_MAX;
  uint64_t palette[16] = {0,
                          1,
                          2,
                          3,
                          7,
                          999,
                          1000,
                          uint64_t{1} << 31,
                          (uint64_t{1} << 32) - 1,
                          uint64_t{1} << 32,
                          uint64_t{1} << 53,
                          kCountMax - 1,
                          kCountMax,
                          uint64_t{1} << 63,
                          UINT64_MAX - 1,
                          UINT64_MAX};
  // Which orders add a multiple of the position to their keys, so that
  // long lists get many distinct keys; whether names are made distinct.
  const uint8_t mode = input.byte();
  for (size_t replaced = input.byte() % 17, slot = 0; slot < replaced; ++slot) palette[slot] = input.u64();

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
      const auto order = static_cast<quern_test::order>(o);
      const uint64_t spread = (mode >> o) & 1 ? palette[15 - o] * index : 0;
      const uint64_t low = palette[(base + o * step) % 16] + spread;
      // Byte sums reach beyond 64 bits, where many keys tie in their low
      // word; counts stay below 2^63, as counts of entries do.
      const quern::byte_total key = order == quern_test::order::bytes
                                        ? quern::byte_total::from_words(palette[(index + step) % 16] >> 60, low)
                                        : quern::byte_total(low & kCountMax);
      const quern_test::counter& count = quern_test::kCounters[o];
      // A child has no subdirectories of its own: its count below stands
      // for the whole total.
      if (order == quern_test::order::subdirs) {
        count.set_below(*child, key);
        continue;
      }
      // Split over the own and the count below, so that only their sum is
      // the key.
      const quern::byte_total split = std::min(key, quern::byte_total(palette[(index + o) % 16] & kCountMax));
      count.set_own(*child, quern::byte_change::between(split, key).magnitude);
      count.set_below(*child, split);
    }
  }

  std::vector<directory_node*> expected = quern_test::children(parent);
  for (const quern_test::page_order& page : quern_test::kPageOrders) {
    quern::my_sort(parent, quern_test::figure_of(page.by), quiet);
    quern_test::exchange_sort(expected, page.by);
    require(quern_test::children(parent) == expected, "each page's order is the one the exchange sort leaves");
  }
  return 0;
}
