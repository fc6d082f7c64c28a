#include "tree/listing_owners.h"

#include <utility>

#include "tree/directory_node.h"

namespace quern {

owner_id listed_owners::owner_of(std::string_view name) {
  if (last_owner_ && names_[*last_owner_] == name) return *last_owner_;
  const auto found = owners_.find(name);
  if (found != owners_.end()) {
    last_owner_ = found->second;
  } else {
    last_owner_ = static_cast<owner_id>(names_.size());
    names_.emplace_back(name);
    owners_.emplace(name, *last_owner_);
  }
  return *last_owner_;
}

void listed_owners::add(const directory_node* directory, std::string_view owner, uint64_t bytes, int64_t files) {
  if (directory != last_directory_) {
    last_directory_ = directory;
    last_figures_ = &figures_[directory];
  }
  last_figures_->add(owner_of(owner), bytes, files);
}

void listed_owners::name_owners() { ledger_.name_listed_owners(std::move(names_)); }

const owner_figures& listed_owners::figures(const directory_node* node) {
  static const owner_figures kNone;
  const auto found = figures_.find(node);
  return found != figures_.end() ? found->second : kNone;
}

void listed_owners::complete(const directory_node* node) {
  last_directory_ = nullptr;
  const auto found = figures_.find(node);
  if (found == figures_.end()) return;
  // The reference outlives the parent's entry being made; an iterator
  // would not.
  owner_figures& own = found->second;
  if (node->parent == nullptr) return;
  owner_figures& above = figures_[node->parent];
  if (node->currentsubdirs() > 0) {
    above.merge(own);
    return;
  }
  above.merge(std::move(own));
  figures_.erase(node);
}

void listed_owners::hand_over(const directory_node* root) {
  std::vector<const directory_node*> pending{root};
  while (!pending.empty()) {
    const directory_node* node = pending.back();
    pending.pop_back();
    if (const auto found = figures_.find(node); found != figures_.end()) ledger_.keep(node, std::move(found->second));
    for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
      if (node->subdirpointer[slot]->currentsubdirs() > 0) pending.push_back(node->subdirpointer[slot]);
    }
  }
  figures_ = {};
}

}  // namespace quern
