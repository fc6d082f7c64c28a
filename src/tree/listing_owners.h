#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tree/owner_figures.h"

namespace quern {

struct directory_node;

// The owners of a listing's entries while it is read: each directory's own
// entries per owner at first, and once every record is in, each one's whole
// subtree. The ledger gets those of the directories that get pages, and
// the owners' names as the listing gave them.
class listed_owners {
 public:
  explicit listed_owners(owner_ledger& ledger) : ledger_(ledger) {}

  // An entry directly in the directory.
  void add(const directory_node* directory, std::string_view owner, uint64_t bytes, int64_t files);
  // Every record is in: the ledger gets the owners' names.
  void name_owners();
  // The directory's figures so far: over its subtree once everything below
  // it is counted.
  const owner_figures& figures(const directory_node* node);
  // Everything below the directory is counted, children before parents:
  // its figures join its parent's, and are given back at once where it has
  // no subdirectories, and so no pages.
  void complete(const directory_node* node);
  // Hands the figures of the root and of every directory with
  // subdirectories still reached from it to the ledger; the others are
  // given back.
  void hand_over(const directory_node* root);

 private:
  owner_id owner_of(std::string_view name);

  struct text_hash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };

  owner_ledger& ledger_;
  std::unordered_map<const directory_node*, owner_figures> figures_;
  std::vector<std::string> names_;  // by owner
  std::unordered_map<std::string, owner_id, text_hash, std::equal_to<>> owners_;
  // Records mostly come in runs of one directory and one owner.
  const directory_node* last_directory_ = nullptr;
  owner_figures* last_figures_ = nullptr;
  std::optional<owner_id> last_owner_;
};

}  // namespace quern
