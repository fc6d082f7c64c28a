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

namespace quern {

struct directory_node;

// An owner as the tree knows it: on a scan the user number, from a listing
// the number of the name the listing gives, counted from 0 in the order the
// names first appear.
using owner_id = uint32_t;

// What one owner holds: bytes and files as the statistics table counts
// them, so that the owners of a directory add up to its totals.
struct owner_share {
  owner_id owner = 0;
  int64_t files = 0;
  byte_total bytes = {};
};

// The shares of the owners present in a directory or a subtree, by owner.
// Most subtrees have one owner or a few, so a sorted vector is all it takes,
// and a single owner takes no storage of its own.
class owner_figures {
 public:
  // Counts one entry, or only bytes with files 0, for the owner.
  void add(owner_id owner, uint64_t bytes, int64_t files);
  void merge(const owner_figures& other);
  // The same, taking over the other's storage where this holds nothing yet.
  void merge(owner_figures&& other);

  std::span<const owner_share> shares() const {
    return many_.empty() ? std::span<const owner_share>(&one_, single_ ? 1 : 0) : many_;
  }
  bool empty() const { return shares().empty(); }
  void clear() {
    single_ = false;
    many_.clear();
  }
  size_t footprint() const { return many_.capacity() * sizeof(owner_share); }

 private:
  std::span<owner_share> writable() { return many_.empty() ? std::span<owner_share>(&one_, single_ ? 1 : 0) : many_; }

  // The owner while there is only one; from a second on, all are in many_.
  owner_share one_;
  bool single_ = false;
  std::vector<owner_share> many_;
};

// What a run that shows owners knows of them: the figures of the
// directories whose pages are still to be written, and the owners' names.
// The walk keeps figures while writers of pages read them, give them back
// and ask for names, all at once.
class owner_ledger {
 public:
  using look_up_function = std::optional<std::string> (*)(owner_id user);

  // Owners are user numbers, named by the look-up when their name is first
  // asked for; a number without a name is shown as the number.
  explicit owner_ledger(look_up_function look_up = user_name);
  owner_ledger(const owner_ledger&) = delete;
  owner_ledger& operator=(const owner_ledger&) = delete;

  // Owners are numbers of the names a listing gave, and shown as those
  // names. Given before any name is asked for.
  void name_listed_owners(std::vector<std::string> names) EXCLUDES(mutex_);
  // The owner's name as the pages show it, before escaping. Each user
  // number is looked up once per run, however many ask.
  std::string name(owner_id owner) EXCLUDES(mutex_);

  // The directory's subtree is counted and it gets pages: its figures are
  // kept until they are written.
  void keep(const directory_node* node, owner_figures figures) EXCLUDES(mutex_);
  // The directory's figures, empty where none were kept; valid until its
  // pages are written.
  const owner_figures& figures(const directory_node* node) const EXCLUDES(mutex_);
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

  look_up_function look_up_;
  mutable mutex mutex_;
  condition_variable looked_up_;
  std::unordered_map<owner_id, user_entry> user_names_ GUARDED_BY(mutex_);
  std::optional<std::vector<std::string>> listed_names_ GUARDED_BY(mutex_);
  // Elements of an unordered map stay where they are while others come and
  // go, so a writer reads figures without holding the lock.
  std::unordered_map<const directory_node*, owner_figures> figures_ GUARDED_BY(mutex_);
  bool for_summary_ = false;
};

}  // namespace quern
