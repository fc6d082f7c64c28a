#include "tree/owner_figures.h"

#include <algorithm>

#include "tree/directory_node.h"

namespace quern {

namespace {

bool by_owner(const owner_share& a, const owner_share& b) { return a.owner < b.owner; }

}  // namespace

void owner_figures::add(owner_id owner, uint64_t bytes, int64_t files) {
  if (many_.empty() && (!single_ || one_.owner == owner)) {
    if (!single_) one_ = {owner};
    single_ = true;
    one_.files += files;
    one_.bytes.add(bytes);
    return;
  }
  if (single_) {
    many_.push_back(one_);
    single_ = false;
  }
  const owner_share key{owner};
  auto at = std::lower_bound(many_.begin(), many_.end(), key, by_owner);
  if (at == many_.end() || at->owner != owner) at = many_.insert(at, key);
  at->files += files;
  at->bytes.add(bytes);
}

void owner_figures::merge(const owner_figures& other) {
  if (empty()) {
    *this = other;
    return;
  }
  const std::span<owner_share> mine = writable();
  const std::span<const owner_share> theirs = other.shares();
  // A subtree mostly has no owner that the directory above it lacks; then
  // the shares are added in place and no storage is taken.
  if (std::includes(mine.begin(), mine.end(), theirs.begin(), theirs.end(), by_owner)) {
    auto at = mine.begin();
    for (const owner_share& share : theirs) {
      at = std::lower_bound(at, mine.end(), share, by_owner);
      at->files += share.files;
      at->bytes += share.bytes;
    }
    return;
  }
  std::vector<owner_share> merged;
  merged.reserve(mine.size() + theirs.size());
  auto left = mine.begin();
  auto right = theirs.begin();
  while (left != mine.end() || right != theirs.end()) {
    if (right == theirs.end() || (left != mine.end() && left->owner < right->owner)) {
      merged.push_back(*left++);
    } else if (left == mine.end() || right->owner < left->owner) {
      merged.push_back(*right++);
    } else {
      owner_share sum = *left++;
      sum.files += right->files;
      sum.bytes += right->bytes;
      ++right;
      merged.push_back(sum);
    }
  }
  many_.swap(merged);
  single_ = false;
}

void owner_figures::merge(owner_figures&& other) {
  if (empty()) {
    *this = std::move(other);
    return;
  }
  merge(static_cast<const owner_figures&>(other));
}

owner_ledger::owner_ledger(look_up_function look_up) : look_up_(look_up) {}

void owner_ledger::name_listed_owners(std::vector<std::string> names) {
  const mutex_lock held(mutex_);
  listed_names_ = std::move(names);
}

std::string owner_ledger::name(owner_id owner) {
  const mutex_lock held(mutex_);
  if (listed_names_) return listed_names_->at(owner);
  // The entry stays where it is while others are added.
  const auto [found, first] = user_names_.try_emplace(owner);
  user_entry& entry = found->second;
  if (first) {
    std::optional<std::string> looked_up;
    {
      // Other names may be looked up meanwhile; who asks for this one waits.
      const mutex_unlock unlocked(mutex_);
      looked_up = look_up_(owner);
    }
    entry.text = looked_up ? std::move(*looked_up) : std::to_string(owner);
    entry.known = true;
    looked_up_.notify_all();
  }
  while (!entry.known) looked_up_.wait(mutex_);
  return entry.text;
}

void owner_ledger::keep(const directory_node* node, owner_figures figures) {
  if (figures.empty()) return;
  const mutex_lock held(mutex_);
  figures_.insert_or_assign(node, std::move(figures));
}

const owner_figures& owner_ledger::figures(const directory_node* node) const {
  static const owner_figures none;
  const mutex_lock held(mutex_);
  const auto found = figures_.find(node);
  return found != figures_.end() ? found->second : none;
}

void owner_ledger::pages_written(const directory_node* node) {
  if (node->parent == nullptr || for_summary_) return;
  const mutex_lock held(mutex_);
  figures_.erase(node);
}

void owner_ledger::summary_written(const directory_node* node) {
  if (node->parent == nullptr) return;
  const mutex_lock held(mutex_);
  figures_.erase(node);
}

size_t owner_ledger::kept() const {
  const mutex_lock held(mutex_);
  return figures_.size();
}

}  // namespace quern
