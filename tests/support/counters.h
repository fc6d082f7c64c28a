#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "report/figures.h"
#include "tree/directory_node.h"

// A directory's five counts and its pages' orders, as the tests name them.
namespace quern_test {

// A figure of a node as a sum: counts are never negative, so they compare
// and add up as sums of bytes do.
template <auto field>
quern::byte_total figure(const quern::directory_node& node) {
  if constexpr (std::is_same_v<std::remove_cvref_t<decltype(node.*field)>, quern::byte_total>) {
    return node.*field;
  } else {
    return quern::byte_total(static_cast<uint64_t>(node.*field));
  }
}

template <auto field>
void set_figure(quern::directory_node& node, const quern::byte_total& value) {
  if constexpr (std::is_same_v<std::remove_cvref_t<decltype(node.*field)>, quern::byte_total>) {
    node.*field = value;
  } else {
    node.*field = static_cast<int64_t>(value.low());
  }
}

// One count: the node's figure directly in the directory and strictly below
// it, and the classes of the cells that show it in the statistics table and
// in the rows of the overview.
struct counter {
  quern::byte_total (*own)(const quern::directory_node&);
  quern::byte_total (*below)(const quern::directory_node&);
  void (*set_own)(quern::directory_node&, const quern::byte_total&);
  void (*set_below)(quern::directory_node&, const quern::byte_total&);
  const char* cell;
  const char* row_cell;
};

template <auto own, auto below>
constexpr counter make_counter(const char* cell, const char* row_cell) {
  return {figure<own>, figure<below>, set_figure<own>, set_figure<below>, cell, row_cell};
}

// The orders of a directory's pages: by each count, or by name.
enum class order : size_t { bytes, subdirs, files, links, others, name };

// The figure the program sorts by for the order; null for the name.
inline const quern::figure* figure_of(order by) {
  constexpr quern::figure_index kIndex[] = {quern::kBytes, quern::kSubdirs, quern::kFiles, quern::kLinks,
                                            quern::kOthers};
  return by == order::name ? nullptr : &quern::kFigures[kIndex[static_cast<size_t>(by)]];
}

// In the order of `order`.
inline constexpr counter kCounters[] = {
    make_counter<&quern::directory_node::size, &quern::directory_node::recursize>("tdbytes", "tdlistbytes"),
    make_counter<&quern::directory_node::subdirs, &quern::directory_node::recursubdirs>("tdsubdir", "tdlistsubdir"),
    make_counter<&quern::directory_node::files, &quern::directory_node::recurfiles>("tdfiles", "tdlistfiles"),
    make_counter<&quern::directory_node::symlinks, &quern::directory_node::recursymlinks>("tdsymlink", "tdlistsymlink"),
    make_counter<&quern::directory_node::devices, &quern::directory_node::recurdevices>("tdother", "tdlistother")};

inline const counter& counter_of(order by) { return kCounters[static_cast<size_t>(by)]; }

// The count over the node's whole subtree.
inline quern::byte_total total(const quern::directory_node* node, const counter& count) {
  return count.own(*node) + count.below(*node);
}

// A directory's pages in the order they are written, each sorting the list
// the one before left, with the key of their file names ("d1_sb.html").
struct page_order {
  order by;
  const char* key;
};

inline constexpr page_order kPageOrders[] = {{order::bytes, "sb"}, {order::subdirs, "sc"}, {order::files, "sf"},
                                             {order::links, "sl"}, {order::others, "sd"},  {order::name, "sn"}};

}  // namespace quern_test
