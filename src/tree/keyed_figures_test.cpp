#include "tree/keyed_figures.h"

#include <gtest/gtest.h>

#include <string>

#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::describe;

TEST(KeyedFigures, EntriesAddUpPerKeyAndMergesKeepTheKeysSorted) {
  keyed_figures figures;
  figures.add(7, 100, 1);
  figures.add(3, 5, 0);  // a link: bytes, no file
  figures.add(7, UINT64_MAX, 1);
  EXPECT_EQ(describe(figures), "3:0/5 7:2/18446744073709551715 ");

  // Only owners present already: added in place.
  keyed_figures same;
  same.add(7, 1, 1);
  figures.merge(same);
  EXPECT_EQ(describe(figures), "3:0/5 7:3/18446744073709551716 ");

  // New owners before, between and after the present ones.
  keyed_figures other;
  for (const uint32_t owner : {9u, 1u, 5u, 3u}) other.add(owner, owner, 1);
  figures.merge(other);
  EXPECT_EQ(describe(figures), "1:1/1 3:1/8 5:1/5 7:3/18446744073709551716 9:1/9 ");

  keyed_figures empty;
  figures.merge(empty);
  empty.merge(figures);
  EXPECT_EQ(describe(empty), describe(figures));

  // One owner alone, and then a second, before and after it.
  keyed_figures single;
  single.add(5, 1, 1);
  keyed_figures more;
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

}  // namespace
}  // namespace quern
