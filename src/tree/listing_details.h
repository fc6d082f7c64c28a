#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tree/subtree_details.h"

namespace quern {

struct directory_node;

// The details of a listing's entries while it is read: each directory's
// own entries at first, and once every record is in, each one's whole
// subtree. The ledger gets those of the directories that get pages, and
// the owners' names as the listing gave them.
class listed_details {
 public:
  listed_details(detail_ledger& ledger, const detail_options& options) : ledger_(ledger), options_(options) {}

  // An entry directly in the directory, counting bytes and `files` files;
  // a regular file's path below the root as the record gives it ("/a//b"),
  // ranks it.
  void add(const directory_node* directory, std::string_view owner, int64_t modified, uint64_t bytes, int64_t files,
           std::string_view below);
  // Every record is in: the ledger gets the owners' names.
  void name_owners();
  // The directory's details so far: over its subtree once everything below
  // it is counted.
  const subtree_details& details(const directory_node* node);
  // Everything below the directory is counted, children before parents:
  // its details join its parent's, and are given back at once where it
  // gets no pages.
  void complete(const directory_node* node, bool has_pages);
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

  detail_ledger& ledger_;
  const detail_options& options_;
  std::unordered_map<const directory_node*, subtree_details> figures_;
  std::vector<std::string> names_;  // by owner
  std::unordered_map<std::string, owner_id, text_hash, std::equal_to<>> owners_;
  // Records mostly come in runs of one directory and one owner.
  const directory_node* last_directory_ = nullptr;
  subtree_details* last_figures_ = nullptr;
  std::optional<owner_id> last_owner_;
  std::string path_;
};

}  // namespace quern
