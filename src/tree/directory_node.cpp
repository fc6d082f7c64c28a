#include "tree/directory_node.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/diagnostics.h"
#include "base/text.h"

namespace quern {

namespace {

// The capacities the tree reports: 64 from the start, doubled when full.
constexpr int64_t kFirstCapacity = 64;
// Real storage starts smaller and doubles too, so a directory with a few
// children does not pay for 64 slots.
constexpr int64_t kFirstStorage = 4;
// Nodes and names are carved from large blocks.
constexpr size_t kNodesPerBlock = 8192;
constexpr size_t kNameBlockBytes = 1 << 20;

constexpr char kNodeIdLetter = 'd';

// A directory costs this much beyond its name and its share of its parent's
// slots; exact byte sums took 16 of it.
static_assert(sizeof(directory_node) == 128);

int64_t capacity_for(int64_t used, int64_t first) {
  int64_t capacity = first;
  while (capacity < used) capacity *= 2;
  return capacity;
}

}  // namespace

int64_t directory_node::countofsubdir() const { return capacity_for(subdirs, kFirstCapacity); }

void join_parent(directory_node* node) {
  directory_node* parent = node->parent;
  // Counts grow by one per entry, so they cannot overflow; sizes are summed
  // exactly.
  parent->recurfiles += node->files + node->recurfiles;
  parent->recursymlinks += node->symlinks + node->recursymlinks;
  parent->recurdevices += node->devices + node->recurdevices;
  parent->recursize += node->total_size();
  parent->recursubdirs += node->subdirs + node->recursubdirs;
  // A directory not entered under -x is what the option asks for; it leaves
  // no gap in the figures of the file system shown.
  if ((node->gaps & (kGapUnread | kGapBelow)) != 0) parent->gaps |= kGapBelow;
}

void append_node_id(std::string& out, const directory_node* node) { append_node_id(out, node->id()); }

void append_node_id(std::string& out, uint64_t node_number) {
  out.push_back(kNodeIdLetter);
  append_decimal(out, static_cast<int64_t>(node_number));
}

size_t node_id_length(std::string_view text) {
  // Creation numbers start at 1 and are written without leading zeros.
  if (text.size() < 2 || text[0] != kNodeIdLetter || text[1] < '1' || text[1] > '9') return 0;
  int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data() + 1, text.data() + text.size(), number);
  return error == std::errc() ? static_cast<size_t>(end - text.data()) : 0;
}

std::string node_id(const directory_node* node) {
  std::string id;
  append_node_id(id, node);
  return id;
}

std::string node_path(const directory_node* node) {
  size_t length = 0;
  for (const directory_node* n = node; n != nullptr; n = n->parent) length += std::strlen(n->name) + 1;
  std::string path(length - 1, '/');
  size_t end = path.size();
  for (const directory_node* n = node; n != nullptr; n = n->parent) {
    const size_t name_length = std::strlen(n->name);
    end -= name_length;
    std::memcpy(path.data() + end, n->name, name_length);
    if (end > 0) --end;  // the "/" before this name is already in place
  }
  return path;
}

directory_tree::directory_tree(diagnostics& diag, reallocate_function reallocate)
    : diag_(diag), reallocate_(reallocate != nullptr ? reallocate : &std::realloc) {}

directory_tree::~directory_tree() {
  for (size_t index = 0; index < used_nodes_; ++index) std::free(node_slot(index)->subdirpointer);
  for (directory_node* block : node_blocks_) std::free(block);
  for (const name_block& block : name_blocks_) std::free(block.text);
}

void* directory_tree::allocate_block(size_t bytes, const char* operation, int line) {
  void* block = reallocate_(nullptr, bytes);
  if (block == nullptr) exit_out_of_memory(operation, line);
  return block;
}

directory_node* directory_tree::node_slot(size_t index) const {
  return node_blocks_[index / kNodesPerBlock] + index % kNodesPerBlock;
}

directory_node* directory_tree::create_directory_node() {
  ++structures_;
  if (diag_.shows(verbosity::operations))
    diag_.writef("*** create_directory_node %lld\r\n", static_cast<long long>(structures_));
  if (used_nodes_ / kNodesPerBlock >= node_blocks_.size()) {
    void* block = allocate_block(kNodesPerBlock * sizeof(directory_node), "create_directory_node", __LINE__);
    node_blocks_.push_back(static_cast<directory_node*>(block));
  }
  directory_node* node = new (node_slot(used_nodes_)) directory_node();
  ++used_nodes_;
  node->set_id(static_cast<uint64_t>(structures_));
  resize_subdirs(node);
  return node;
}

// Reports the growth of a node's capacity. The first call, at creation, takes
// no storage: slots are allocated when the first child arrives.
void directory_tree::resize_subdirs(directory_node* node) {
  const bool growing = node->subdirs > 0;
  if (diag_.shows(verbosity::operations)) {
    std::string text = "*** resize_subdirs ";
    append_node_id(text, node);
    text += "\r\n*** resize_subdirs newsize is ";
    append_decimal(text, growing ? node->countofsubdir() * 2 : kFirstCapacity);
    text += "\r\n";
    if (growing) text += "*** resize_subdirs copy data\r\n";
    diag_.write(text);
  }
}

void directory_tree::add_subdir_to_directory(directory_node* parent, directory_node* child, bool keep) {
  if (diag_.shows(verbosity::operations)) {
    std::string text = "*** add_subdir ";
    append_node_id(text, parent);
    text.push_back(' ');
    append_node_id(text, child);
    text += "\r\n";
    diag_.write(text);
  }
  const int64_t used = parent->subdirs;
  if (used > 0 && used >= parent->countofsubdir()) resize_subdirs(parent);
  if (keep && (used == 0 || (used >= kFirstStorage && (used & (used - 1)) == 0))) {
    const int64_t storage = capacity_for(used + 1, kFirstStorage);
    void* grown = reallocate_(parent->subdirpointer, static_cast<size_t>(storage) * sizeof(directory_node*));
    if (grown == nullptr) exit_out_of_memory("resize_subdirs", __LINE__);
    parent->subdirpointer = static_cast<directory_node**>(grown);
  }
  if (diag_.shows(verbosity::operations))
    diag_.writef("*** add_subdir into slot %lld\r\n", static_cast<long long>(used));
  if (keep) parent->subdirpointer[used] = child;
  parent->subdirs = used + 1;
  child->parent = parent;
}

char* directory_tree::allocate_name(size_t bytes) {
  if (!name_blocks_.empty() && name_offset_ + bytes <= name_blocks_[name_block_].size) {
    char* name = name_blocks_[name_block_].text + name_offset_;
    name_offset_ += bytes;
    return name;
  }
  // The next block, if one is left from a cut and is large enough, or a new
  // one put in its place; a name larger than a block gets one of its own.
  const size_t next = name_blocks_.empty() ? 0 : name_block_ + 1;
  if (next == name_blocks_.size() || name_blocks_[next].size < bytes) {
    const size_t size = bytes > kNameBlockBytes ? bytes : kNameBlockBytes;
    char* text = static_cast<char*>(allocate_block(size, "create_directory_node", __LINE__));
    name_blocks_.insert(name_blocks_.begin() + static_cast<std::ptrdiff_t>(next), {text, size});
  }
  name_block_ = next;
  name_offset_ = bytes;
  return name_blocks_[next].text;
}

void directory_tree::set_name(directory_node* node, const char* name, size_t length) {
  char* copy = allocate_name(length + 1);
  std::memcpy(copy, name, length);
  copy[length] = '\0';
  node->name = copy;
}

void directory_tree::release_to(const mark& since) {
  for (size_t index = since.nodes; index < used_nodes_; ++index) std::free(node_slot(index)->subdirpointer);
  used_nodes_ = since.nodes;
  // Blocks of ordinary size are kept for the names to come; larger ones,
  // made for one long name, are not.
  for (size_t block = name_blocks_.size(); block-- > since.name_block + 1;) {
    if (name_blocks_[block].size == kNameBlockBytes) continue;
    std::free(name_blocks_[block].text);
    name_blocks_.erase(name_blocks_.begin() + static_cast<std::ptrdiff_t>(block));
  }
  name_block_ = since.name_block;
  name_offset_ = since.name_offset;
}

void directory_tree::drop_children(directory_node* node) {
  std::free(node->subdirpointer);
  node->subdirpointer = nullptr;
}

void directory_tree::dump(const directory_node* node) const { quern::dump(diag_, node); }

void dump(diagnostics& diag, const directory_node* node) {
  std::string text = "Dump of directory structure ";
  append_node_id(text, node);
  append_format(text, " (%s)\r\n", node_path(node).c_str());
  append_format(text, " Files %lld\r\n Size ", static_cast<long long>(node->files));
  append_decimal(text, node->size);
  append_format(text, "\r\n RecurFiles %lld\r\n RecurSize ", static_cast<long long>(node->recurfiles));
  append_decimal(text, node->recursize);
  append_format(text, "\r\n Subdirs %lld\r\n Subdirpointer ", static_cast<long long>(node->subdirs));
  // The array's address would differ from run to run; like the node's, its
  // identity is written as a name that does not.
  if (node->subdirpointer == nullptr) {
    text += "(nil)";
  } else {
    text += 'a';
    append_decimal(text, static_cast<int64_t>(node->id()));
  }
  text += "\r\n";
  append_format(text, " countofsubdir %lld\r\n currentsubdirs %lld\r\n", static_cast<long long>(node->countofsubdir()),
                static_cast<long long>(node->currentsubdirs()));
  for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
    const directory_node* child = node->subdirpointer[slot];
    append_format(text, " subdir[%d] -> ", static_cast<int>(slot));
    append_node_id(text, child);
    append_format(text, " (%s)\r\n", node_path(child).c_str());
  }
  diag.write(text);
}

}  // namespace quern
