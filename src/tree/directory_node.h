#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quern {

class diagnostics;

// One scanned directory. Counts named plainly are of entries directly in the
// directory; their recur partners are of everything strictly below it.
struct directory_node {
  int64_t files = 0;
  int64_t recurfiles = 0;
  int64_t symlinks = 0;
  int64_t recursymlinks = 0;
  int64_t devices = 0;
  int64_t recurdevices = 0;
  int64_t size = 0;
  int64_t recursize = 0;
  int64_t subdirs = 0;
  int64_t recursubdirs = 0;

  // The entry name; for the root the root path as given. The full path is
  // not stored: it is composed from the parent chain when it is needed.
  const char* name = nullptr;
  directory_node* parent = nullptr;
  // Children in slots 0 to currentsubdirs() - 1. Storage is taken only
  // when the first child arrives; the capacity the tree reports runs 64,
  // 128, 256, ... whatever is really allocated.
  directory_node** subdirpointer = nullptr;
  // Creation number, 1 for the root: the node's identity in page names,
  // links and diagnostics, the same on every run over an unchanged tree.
  uint64_t id = 0;

  // Every subdirectory entry gets exactly one child, so the number of
  // children is the subdirectory count; it is not stored twice.
  int64_t currentsubdirs() const { return subdirs; }
  int64_t countofsubdir() const;

  // Totals over the whole subtree, as the pages show them.
  int64_t total_size() const { return sum(size, recursize); }
  int64_t total_subdirs() const { return sum(subdirs, recursubdirs); }
  int64_t total_files() const { return sum(files, recurfiles); }
  int64_t total_symlinks() const { return sum(symlinks, recursymlinks); }
  int64_t total_devices() const { return sum(devices, recurdevices); }

 private:
  // Wraps instead of overflowing, so no input can make the sum undefined.
  static int64_t sum(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
  }
};

// The node's identifier as pages and diagnostics write it: "d" and the
// creation number.
std::string node_id(const directory_node* node);
void append_node_id(std::string& out, const directory_node* node);
// The length of the identifier, of the form append_node_id gives, that the
// text begins with; 0 when it begins with none.
size_t node_id_length(std::string_view text);

// The path under which the directory was opened: the root path, then "/"
// and one entry name per level.
std::string node_path(const directory_node* node);

// Writes the node's dump to the diagnostics, whatever the level.
void dump(diagnostics& diag, const directory_node* node);

// Owns every node and name of a run; they live until the tree is destroyed.
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
  // Appends the child, which raises the parent's subdirectory count.
  void add_subdir_to_directory(directory_node* parent, directory_node* child);
  // Copies the name into the tree's storage and points the node at it.
  void set_name(directory_node* node, const char* name, size_t length);
  // Writes the node's dump to the diagnostics, whatever the level.
  void dump(const directory_node* node) const;

  // Number of nodes created so far.
  int64_t structures() const { return structures_; }

 private:
  void resize_subdirs(directory_node* node);
  void* allocate_block(size_t bytes, const char* operation, int line);

  diagnostics& diag_;
  reallocate_function reallocate_;
  int64_t structures_ = 0;
  // Nodes sit in blocks of their own, so that the destructor can visit each
  // one to free its child array; names are packed in other blocks.
  std::vector<directory_node*> node_blocks_;
  std::vector<char*> name_blocks_;
  char* name_cursor_ = nullptr;
  size_t name_space_left_ = 0;
};

}  // namespace quern
