#include "tree/listing_details.h"

#include <algorithm>
#include <utility>

#include "tree/directory_node.h"

namespace quern {

owner_id listed_details::owner_of(std::string_view name) {
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

void listed_details::add(const directory_node* directory, std::string_view owner, int64_t modified, uint64_t bytes,
                         int64_t files, std::string_view below) {
  if (directory != last_directory_) {
    last_directory_ = directory;
    last_figures_ = &figures_[directory];
    if (last_figures_->largest.limit() != options_.largest) last_figures_->largest = largest_files(options_.largest);
  }
  const owner_id id = options_.owners ? owner_of(owner) : 0;
  last_figures_->count(options_, id, modified, bytes, files);
  if (below.empty() || !last_figures_->largest.could_rank(bytes)) return;
  // Shown as a scan shows it: names joined by single slashes.
  path_.clear();
  for (size_t at = 0; at < below.size();) {
    const size_t begin = below.find_first_not_of('/', at);
    if (begin == std::string_view::npos) break;
    const size_t end = std::min(below.find('/', begin), below.size());
    if (!path_.empty()) path_ += '/';
    path_.append(below.substr(begin, end - begin));
    at = end;
  }
  last_figures_->largest.rank(path_, bytes, modified, id);
}

void listed_details::name_owners() { ledger_.name_listed_owners(std::move(names_)); }

const subtree_details& listed_details::details(const directory_node* node) {
  static const subtree_details kNone;
  const auto found = figures_.find(node);
  return found != figures_.end() ? found->second : kNone;
}

void listed_details::complete(const directory_node* node, bool has_pages) {
  last_directory_ = nullptr;
  const auto found = figures_.find(node);
  if (found == figures_.end()) return;
  // The reference outlives the parent's entry being made; an iterator
  // would not.
  subtree_details& own = found->second;
  own.largest.place_own_files(node->id(), has_pages);
  if (node->parent == nullptr) return;
  subtree_details& above = figures_[node->parent];
  if (has_pages) {
    above.merge(own);
    return;
  }
  above.merge(std::move(own));
  figures_.erase(node);
}

void listed_details::hand_over(const directory_node* root) {
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
