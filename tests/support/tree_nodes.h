#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tree/directory_node.h"
#include "tree/subtree_details.h"

// Directory trees in memory, built and described for tests.
namespace quern_test {

// A new directory of this name; the last child of the parent, unless that
// is null.
quern::directory_node* add_node(quern::directory_tree& tree, quern::directory_node* parent, std::string_view name);

// Sets every count below a directory to the sum of its children's totals,
// and marks a gap below where one of them has a gap of its own or below, as
// a scan does once the tree is counted.
void add_up(quern::directory_node* root);

// The node's children in the order of their slots.
std::vector<quern::directory_node*> children(const quern::directory_node* node);

// Every node in pre-order, a line each: its path and the "own/below"
// counts of files, links, others, bytes and subdirectories. Throws, failing
// the test, where a count below is not the sum of the children's or a child
// names another parent.
std::string describe(const quern::directory_node* root);

// The same with each node's number in front of its path.
std::string describe_numbered(const quern::directory_node* root);

// The figures per owner that the ledger holds for the root and every
// directory below it that gets pages, in pre-order, a line each: its path
// and "name:files/bytes" per owner in byte order of the names; at the end
// the number of directories holding figures. Throws, failing the test, where
// the owners' bytes or files do not add up to the directory's totals.
// "key:files/bytes " per share, in their order.
std::string describe(const quern::keyed_figures& figures);

std::string describe_owners(const quern::directory_node* root, quern::detail_ledger& ledger);

}  // namespace quern_test
