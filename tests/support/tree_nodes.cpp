#include "support/tree_nodes.h"

#include <algorithm>
#include <stdexcept>

#include "support/counters.h"

namespace quern_test {

namespace {

void describe(const quern::directory_node* node, bool numbered, std::string& text) {
  const std::string path = quern::node_path(node);
  if (numbered) text += quern::node_id(node) + " ";
  text += path;
  const std::vector<quern::directory_node*> below = children(node);
  for (const order by : {order::files, order::links, order::others, order::bytes, order::subdirs}) {
    const counter& count = counter_of(by);
    text += " ";
    quern::append_decimal(text, count.own(*node));
    text += "/";
    quern::append_decimal(text, count.below(*node));
    quern::byte_total sum;
    for (const quern::directory_node* child : below) sum += total(child, count);
    if (sum != count.below(*node)) throw std::logic_error(path + ": a count below is not the children's sum");
  }
  text += "\n";
  for (const quern::directory_node* child : below) {
    if (child->parent != node) throw std::logic_error(path + ": a child names another parent");
    describe(child, numbered, text);
  }
}

}  // namespace

quern::directory_node* add_node(quern::directory_tree& tree, quern::directory_node* parent, std::string_view name) {
  quern::directory_node* node = tree.create_directory_node();
  tree.set_name(node, name.data(), name.size());
  if (parent != nullptr) tree.add_subdir_to_directory(parent, node);
  return node;
}

void add_up(quern::directory_node* root) {
  const std::vector<quern::directory_node*> below = children(root);
  for (quern::directory_node* child : below) {
    add_up(child);
    if ((child->gaps & (quern::kGapUnread | quern::kGapBelow)) != 0) root->gaps |= quern::kGapBelow;
  }
  for (const counter& count : kCounters) {
    quern::byte_total sum;
    for (const quern::directory_node* child : below) sum += total(child, count);
    count.set_below(*root, sum);
  }
}

std::vector<quern::directory_node*> children(const quern::directory_node* node) {
  return {node->subdirpointer, node->subdirpointer + node->currentsubdirs()};
}

std::string describe(const quern::directory_node* root) {
  std::string text;
  describe(root, false, text);
  return text;
}

std::string describe_numbered(const quern::directory_node* root) {
  std::string text;
  describe(root, true, text);
  return text;
}

std::string describe(const quern::keyed_figures& figures) {
  std::string text;
  for (const quern::keyed_share& share : figures.shares()) {
    std::string bytes;
    quern::append_decimal(bytes, share.bytes);
    text += std::to_string(share.key) + ":" + std::to_string(share.files) + "/" + bytes + " ";
  }
  return text;
}

std::string describe_owners(const quern::directory_node* root, quern::detail_ledger& ledger) {
  std::string text;
  std::vector<const quern::directory_node*> pending{root};
  while (!pending.empty()) {
    const quern::directory_node* node = pending.back();
    pending.pop_back();
    const std::string path = quern::node_path(node);
    std::vector<std::string> owners;
    quern::byte_total bytes;
    int64_t files = 0;
    for (const quern::keyed_share& share : ledger.details(node).owners.shares()) {
      owners.push_back(" " + ledger.name(share.key) + ":" + std::to_string(share.files) + "/");
      quern::append_decimal(owners.back(), share.bytes);
      bytes += share.bytes;
      files += share.files;
    }
    std::sort(owners.begin(), owners.end());
    text += path;
    for (const std::string& owner : owners) text += owner;
    text += "\n";
    if (bytes != node->total_size() || files != node->total_files())
      throw std::logic_error(path + ": the owners do not add up to the totals");
    for (int64_t slot = node->currentsubdirs(); slot-- > 0;) {
      if (node->subdirpointer[slot]->currentsubdirs() > 0) pending.push_back(node->subdirpointer[slot]);
    }
  }
  return text + std::to_string(ledger.kept()) + " kept\n";
}

}  // namespace quern_test
