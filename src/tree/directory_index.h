#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/text_hash.h"
#include "tree/directory_node.h"

namespace quern {

// Finds a directory by its parent and its name. Open addressing over node
// pointers: a node carries its own key, so a slot needs nothing else.
class directory_index {
 public:
  // The parent's creation number stands for the parent: it is unique and
  // does not change while the index is in use.
  static uint64_t hash(const directory_node* parent, std::string_view name) {
    return hash_text(name, (parent->id() + 1) * 0x9e3779b97f4a7c15ULL);
  }

  directory_node* find(const directory_node* parent, std::string_view name, uint64_t hash) const {
    if (slots_.empty()) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      directory_node* node = slots_[at];
      if (node == nullptr) return nullptr;
      // strncmp stops at the stored name's end; the name looked for holds no NUL.
      if (node->parent == parent && std::strncmp(node->name, name.data(), name.size()) == 0 &&
          node->name[name.size()] == '\0')
        return node;
    }
  }

  void insert(directory_node* node, uint64_t hash) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    place(node, hash);
    ++used_;
  }

 private:
  void place(directory_node* node, uint64_t hash) {
    const size_t mask = slots_.size() - 1;
    size_t at = hash & mask;
    while (slots_[at] != nullptr) at = (at + 1) & mask;
    slots_[at] = node;
  }

  void grow() {
    std::vector<directory_node*> old(std::max<size_t>(slots_.size() * 2, 1024), nullptr);
    old.swap(slots_);
    for (directory_node* node : old) {
      if (node != nullptr) place(node, hash(node->parent, node->name));
    }
  }

  std::vector<directory_node*> slots_;  // a power of two of them, at most half in use
  size_t used_ = 0;
};

}  // namespace quern
