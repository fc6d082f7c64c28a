#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/status.h"
#include "platform/file_system.h"
#include "tree/owner_figures.h"

namespace quern {

struct directory_node;
struct listing_source;

// The root as listed paths begin with it.
std::string_view without_trailing_slashes(std::string_view path);

// Whether the path is the root's or lies below it; the root is given
// without trailing slashes.
bool lies_in_root(std::string_view path, std::string_view root);

// Where an owner ends in what follows a record's size: at the first blank
// that a path of the root follows. User names may hold blanks ("domain
// users"), but never a "/". npos where there is no such blank.
size_t owner_end(std::string_view rest, std::string_view root);

// Whether the record, without its terminator, carries an owner between its
// size and its path, as `find -printf '%y %s %U %p\0'` or '%u' writes it:
// what follows the size is no path of the root, but what follows the
// owner is.
bool names_owner(std::string_view record, std::string_view root);

// A listing opened, and its first record read, before anything is written,
// so that a listing that holds no record, or not the owners asked for, is a
// mistake on the command line. Reading it yields what was read to decide
// first.
struct opened_listing {
  std::unique_ptr<input_file> input;  // null when it could not be opened
  status opened;
  // Whether the records carry owners, as the first one tells; nothing when
  // no first record came whole: the listing was empty, broke off or began
  // with a record longer than any kept.
  std::optional<bool> owner_field;
  // The listing ended, or could not be read, before its first record was
  // whole: `find ROOT` always lists ROOT first, so it lists no tree.
  bool ended_before_record = false;
  status first_read;
};

opened_listing open_listing(const listing_source& source, std::string_view root_path, file_system& files,
                            size_t longest_record);

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
  // Everything below the directory is counted, children before parents:
  // the ledger is told its figures, which join its parent's and are given
  // back at once where it has no subdirectories, and so no pages.
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
