#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/byte_total.h"
#include "base/mutex.h"
#include "base/thread_annotations.h"
#include "platform/user_names.h"
#include "tree/keyed_figures.h"
#include "tree/largest_files.h"

namespace quern {

struct directory_node;

// An owner as the tree knows it: on a scan the user number, from a listing
// the number of the name the listing gives, counted from 0 in the order the
// names first appear.
using owner_id = uint32_t;

// Entries by the calendar year (UTC) of their last change, counted from the
// year the run began: the class of entries changed after the run began
// comes first, then one per year from the run's own back nine more, then
// one for everything older. Classes are numbered so, newest first.
inline constexpr uint32_t kAgeLater = 0;
inline constexpr uint32_t kAgeYears = 10;
inline constexpr uint32_t kAgeOlder = kAgeYears + 1;

class age_classes {
 public:
  // `begun`: the run's start, in seconds since 1970.
  explicit age_classes(int64_t begun);
  uint32_t class_of(int64_t modified) const;
  // The calendar year of a class from 1 to kAgeYears.
  int64_t year(uint32_t age_class) const { return first_year_ - (age_class - 1); }

 private:
  int64_t begun_;
  int64_t first_year_;
  int64_t year_starts_[kAgeYears];  // newest first
};

// What is counted of each entry beyond the statistics, in a directory and
// over its subtree.
struct detail_options {
  bool owners = false;
  std::optional<age_classes> ages = std::nullopt;
  uint32_t largest = 0;  // files ranked; 0 for none
  bool any() const { return owners || ages.has_value() || largest > 0; }
};

// A directory's or a subtree's figures beyond the statistics: its bytes and
// files per owner and per age class, and its largest files, each where
// asked for.
struct subtree_details {
  keyed_figures owners;
  keyed_figures ages;
  largest_files largest;

  // Counts an entry: bytes and, for a regular file, one file.
  void count(const detail_options& options, uint32_t owner, int64_t modified, uint64_t bytes, int64_t files) {
    if (options.owners) owners.add(owner, bytes, files);
    if (options.ages) ages.add(options.ages->class_of(modified), bytes, files);
  }
  void merge(const subtree_details& other);
  // The same, taking over the other's storage where this holds nothing yet.
  void merge(subtree_details&& other);
  bool empty() const { return owners.empty() && ages.empty() && largest.empty(); }
  void clear();
  size_t footprint() const { return owners.footprint() + ages.footprint() + largest.footprint(); }
};

// What a run that counts details knows of them: the details of the
// directories whose pages are still to be written, and the owners' names.
// The walk keeps figures while writers of pages read them, give them back
// and ask for names, all at once.
class detail_ledger {
 public:
  using look_up_function = std::optional<std::string> (*)(owner_id user);

  // Counts what the options ask for. Owners are user numbers, named by the
  // look-up when their name is first asked for; a number without a name is
  // shown as the number.
  explicit detail_ledger(detail_options options, look_up_function look_up = user_name);

  const detail_options& options() const { return options_; }
  detail_ledger(const detail_ledger&) = delete;
  detail_ledger& operator=(const detail_ledger&) = delete;

  // Owners are numbers of the names a listing gave, and shown as those
  // names. Given before any name is asked for.
  void name_listed_owners(std::vector<std::string> names) EXCLUDES(mutex_);
  // The owner's name as the pages show it, before escaping. Each user
  // number is looked up once per run, however many ask.
  std::string name(owner_id owner) EXCLUDES(mutex_);

  // The directory's subtree is counted and it gets pages: its details are
  // kept until they are written.
  void keep(const directory_node* node, subtree_details details) EXCLUDES(mutex_);
  // The directory's details, empty where none were kept; valid until its
  // pages are written.
  const subtree_details& details(const directory_node* node) const EXCLUDES(mutex_);
  // Gives the directory's figures back; the root's stay for the entry page.
  void pages_written(const directory_node* node) EXCLUDES(mutex_);
  // How many directories hold figures.
  size_t kept() const EXCLUDES(mutex_);

  // Keeps figures past their pages until a summary written after all pages
  // has them. Set before the walk begins.
  void keep_for_summary() { for_summary_ = true; }

  // Gives back the figures kept for the summary once it has the directory.
  void summary_written(const directory_node* node) EXCLUDES(mutex_);

 private:
  struct user_entry {
    std::string text;
    bool known = false;  // false while one thread looks it up
  };

  const detail_options options_;
  look_up_function look_up_;
  mutable mutex mutex_;
  condition_variable looked_up_;
  std::unordered_map<owner_id, user_entry> user_names_ GUARDED_BY(mutex_);
  std::optional<std::vector<std::string>> listed_names_ GUARDED_BY(mutex_);
  // Elements of an unordered map stay where they are while others come and
  // go, so a writer reads figures without holding the lock.
  std::unordered_map<const directory_node*, subtree_details> figures_ GUARDED_BY(mutex_);
  bool for_summary_ = false;
};

}  // namespace quern
