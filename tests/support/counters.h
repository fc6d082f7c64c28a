#pragma once

#include <cstddef>
#include <cstdint>

#include "report/ordering.h"
#include "tree/directory_node.h"

// A directory's five counts and its pages' orders, as the tests name them.
namespace quern_test {

// Sums wrap, as the report's do.
inline int64_t wrapping_sum(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}

// One count: the node's figure directly in the directory and strictly below
// it, and the classes of the cells that show it in the statistics table and
// in the rows of the overview.
struct counter {
  int64_t quern::directory_node::*own;
  int64_t quern::directory_node::*below;
  const char* cell;
  const char* row_cell;
};

// In the order of quern::sort_order.
inline constexpr counter kCounters[] = {
    {&quern::directory_node::size, &quern::directory_node::recursize, "tdbytes", "tdlistbytes"},
    {&quern::directory_node::subdirs, &quern::directory_node::recursubdirs, "tdsubdir", "tdlistsubdir"},
    {&quern::directory_node::files, &quern::directory_node::recurfiles, "tdfiles", "tdlistfiles"},
    {&quern::directory_node::symlinks, &quern::directory_node::recursymlinks, "tdsymlink", "tdlistsymlink"},
    {&quern::directory_node::devices, &quern::directory_node::recurdevices, "tdother", "tdlistother"}};

inline const counter& counter_of(quern::sort_order order) { return kCounters[static_cast<size_t>(order)]; }

// The count over the node's whole subtree.
inline int64_t total(const quern::directory_node* node, const counter& count) {
  return wrapping_sum(node->*count.own, node->*count.below);
}

// A directory's pages in the order they are written, each sorting the list
// the one before left, with the key of their file names ("d1_sb.html").
struct page_order {
  quern::sort_order order;
  const char* key;
};

inline constexpr page_order kPageOrders[] = {{quern::sort_order::size, "sb"},    {quern::sort_order::subdirs, "sc"},
                                             {quern::sort_order::files, "sf"},   {quern::sort_order::symlinks, "sl"},
                                             {quern::sort_order::devices, "sd"}, {quern::sort_order::name, "sn"}};

}  // namespace quern_test
