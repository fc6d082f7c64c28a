#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_total.h"

namespace quern {

class diagnostics;

// Why a directory's figures may fall short of what is on disk.
enum gap : uint8_t {
  // It could not be opened or read to its end, or an entry in it could not
  // be examined.
  kGapUnread = 1,
  // It lies on another file system and was not entered.
  kGapNotEntered = 2,
  // Some directory below it could not be read. A directory not entered
  // leaves no gap above it: its file system is left out on purpose.
  kGapBelow = 4,
};

// One scanned directory. Counts named plainly are of entries directly in the
// directory; their recur partners are of everything strictly below it.
struct directory_node {
  int64_t files = 0;
  int64_t recurfiles = 0;
  int64_t symlinks = 0;
  int64_t recursymlinks = 0;
  int64_t devices = 0;
  int64_t recurdevices = 0;
  byte_total size;
  byte_total recursize;
  int64_t subdirs = 0;
  int64_t recursubdirs = 0;

  // The entry name; for the root the root path as given. The full path is
  // not stored: it is composed from the parent chain when it is needed.
  const char* name = nullptr;
  directory_node* parent = nullptr;
  // The children, in slots 0 to currentsubdirs() - 1. Storage is taken only
  // when the first child arrives; the capacity the tree reports runs 64,
  // 128, 256, ... whatever is really allocated. Null when there are none,
  // or when they were given back because nothing will show them.
  directory_node** subdirpointer = nullptr;

 private:
  // The creation number, below.
  uint32_t id_low_ = 0;
  uint16_t id_high_ = 0;

 public:
  // The gap flags that apply to this directory's figures. A field of its
  // own: the walk sets it on a directory whose identity writers of pages
  // below it read at the same time.
  uint8_t gaps = 0;

  // Creation number, 1 for the root: the node's identity in page names,
  // links and diagnostics, the same on every run over an unchanged tree.
  // 48 bits, so that it shares a word with the gap flags.
  uint64_t id() const { return id_low_ | uint64_t{id_high_} << 32; }
  void set_id(uint64_t id) {
    id_low_ = static_cast<uint32_t>(id);
    id_high_ = static_cast<uint16_t>(id >> 32);
  }

  // The children that are kept. A directory keeps either all of its
  // subdirectories or none, so the count of subdirectories is not stored
  // twice.
  int64_t currentsubdirs() const { return subdirpointer != nullptr ? subdirs : 0; }
  int64_t countofsubdir() const;

  // Totals over the whole subtree, as the pages show them.
  byte_total total_size() const { return size + recursize; }
  int64_t total_files() const { return files + recurfiles; }
};

// Which directories keep their subdirectories once they are counted, so
// that something can still show them; the others give back what lies below
// them and keep only their own figures. The root keeps everything.
struct retention_rule {
  // Directories more than this many levels below the root keep nothing.
  uint64_t max_depth = UINT64_MAX;
  // Directories holding fewer bytes in all keep nothing.
  byte_total min_total;

  bool keeps(const directory_node& node, uint64_t depth) const {
    return node.parent == nullptr || (depth <= max_depth && node.total_size() >= min_total);
  }
  // Whether a directory at this depth may keep its subdirectories at all,
  // known before they are counted.
  bool may_keep(uint64_t depth) const { return depth <= max_depth; }
  bool keeps_everything() const { return max_depth == UINT64_MAX && min_total == byte_total(); }
};

// Everything below the directory is counted: its totals join what lies
// below its parent, and what could not be read there marks the parent too.
// The one place where the figures of a tree are added up.
void join_parent(directory_node* node);

// The node's identifier as pages and diagnostics write it: "d" and the
// creation number.
std::string node_id(const directory_node* node);
void append_node_id(std::string& out, const directory_node* node);
void append_node_id(std::string& out, uint64_t node_number);
// The length of the identifier, of the form append_node_id gives, that the
// text begins with; 0 when it begins with none.
size_t node_id_length(std::string_view text);

// The path under which the directory was opened: the root path, then "/"
// and one entry name per level.
std::string node_path(const directory_node* node);

// Writes the node's dump to the diagnostics, whatever the level.
void dump(diagnostics& diag, const directory_node* node);

// Owns every node and name of a run. Nodes and names are taken from the end
// of two stacks, so a scan, which makes every directory of a subtree after
// the subtree's own and before anything else, can give a finished subtree
// back by cutting the stacks where it began.
class directory_tree {
 public:
  // Every allocation of the tree goes through this, realloc's contract;
  // tests pass one that fails.
  using reallocate_function = void* (*)(void*, size_t);
  explicit directory_tree(diagnostics& diag, reallocate_function reallocate = nullptr);
  ~directory_tree();
  directory_tree(const directory_tree&) = delete;
  directory_tree& operator=(const directory_tree&) = delete;

  directory_node* create_directory_node();
  // Counts the child as a subdirectory of the parent, which raises the
  // parent's subdirectory count; only a kept child is stored in the
  // parent's slots. A parent keeps all its children or none: one that gave
  // its children back, or did not keep one, takes no kept child after.
  void add_subdir_to_directory(directory_node* parent, directory_node* child, bool keep = true);
  // Copies the name into the tree's storage and points the node at it.
  void set_name(directory_node* node, const char* name, size_t length);
  // Writes the node's dump to the diagnostics, whatever the level.
  void dump(const directory_node* node) const;

  // A point in the two stacks.
  struct mark {
    size_t nodes = 0;
    size_t name_block = 0;
    size_t name_offset = 0;
  };
  mark current_mark() const { return {used_nodes_, name_block_, name_offset_}; }
  // Gives back every node and name made since the mark. Nothing may refer
  // to them any more.
  void release_to(const mark& since);
  // Gives back the node's children's slots; the children themselves stay
  // where they are until the stacks are cut below them.
  void drop_children(directory_node* node);

  // Number of nodes created so far, given back or not.
  int64_t structures() const { return structures_; }

 private:
  void resize_subdirs(directory_node* node);
  void* allocate_block(size_t bytes, const char* operation, int line);
  directory_node* node_slot(size_t index) const;
  char* allocate_name(size_t bytes);

  diagnostics& diag_;
  reallocate_function reallocate_;
  int64_t structures_ = 0;
  // Blocks stay allocated when the stacks shrink, to be used again.
  std::vector<directory_node*> node_blocks_;
  size_t used_nodes_ = 0;
  struct name_block {
    char* text;
    size_t size;
  };
  std::vector<name_block> name_blocks_;
  size_t name_block_ = 0;   // the block names are taken from
  size_t name_offset_ = 0;  // the first free byte in it
};

}  // namespace quern
