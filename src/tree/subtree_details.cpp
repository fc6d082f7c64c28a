#include "tree/subtree_details.h"

#include <algorithm>

#include "base/calendar.h"
#include "tree/directory_node.h"

namespace quern {

age_classes::age_classes(int64_t begun) : begun_(begun), first_year_(date_of(begun).year) {
  for (uint32_t back = 0; back < kAgeYears; ++back) year_starts_[back] = start_of_year(first_year_ - back);
}

uint32_t age_classes::class_of(int64_t modified) const {
  if (modified > begun_) return kAgeLater;
  for (uint32_t back = 0; back < kAgeYears; ++back) {
    if (modified >= year_starts_[back]) return back + 1;
  }
  return kAgeOlder;
}

void subtree_details::merge(const subtree_details& other) {
  owners.merge(other.owners);
  ages.merge(other.ages);
  largest.merge(other.largest);
}

void subtree_details::merge(subtree_details&& other) {
  owners.merge(std::move(other.owners));
  ages.merge(std::move(other.ages));
  largest.merge(other.largest);
}

void subtree_details::clear() {
  owners.clear();
  ages.clear();
  largest.clear();
}

detail_ledger::detail_ledger(detail_options options, look_up_function look_up)
    : options_(std::move(options)), look_up_(look_up) {}

void detail_ledger::name_listed_owners(std::vector<std::string> names) {
  const mutex_lock held(mutex_);
  listed_names_ = std::move(names);
}

std::string detail_ledger::name(owner_id owner) {
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

void detail_ledger::keep(const directory_node* node, subtree_details details) {
  if (details.empty()) return;
  // Kept until the pages, or the summary, are written: no spare room.
  details.owners.shrink_to_fit();
  details.ages.shrink_to_fit();
  details.largest.shrink_to_fit();
  const mutex_lock held(mutex_);
  figures_.insert_or_assign(node, std::move(details));
}

const subtree_details& detail_ledger::details(const directory_node* node) const {
  static const subtree_details none;
  const mutex_lock held(mutex_);
  const auto found = figures_.find(node);
  return found != figures_.end() ? found->second : none;
}

void detail_ledger::pages_written(const directory_node* node) {
  if (node->parent == nullptr || for_summary_) return;
  const mutex_lock held(mutex_);
  figures_.erase(node);
}

void detail_ledger::summary_written(const directory_node* node) {
  if (node->parent == nullptr) return;
  const mutex_lock held(mutex_);
  figures_.erase(node);
}

size_t detail_ledger::kept() const {
  const mutex_lock held(mutex_);
  return figures_.size();
}

}  // namespace quern
