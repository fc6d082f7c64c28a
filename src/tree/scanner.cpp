#include "tree/scanner.h"

#include <memory>
#include <unordered_set>
#include <utility>

#include "base/text.h"
#include "tree/directory_source.h"
#include "tree/read_ahead.h"
#include "tree/sequential_source.h"

namespace quern {

namespace {

// One directory on the path from the root to the directory being walked.
struct walked_directory {
  directory_node* node = nullptr;
  const directory_contents* contents = nullptr;
  size_t next_entry = 0;
  size_t next_subdirectory = 0;
  size_t next_linked_file = 0;
  size_t path_length = 0;  // of this directory's path in the walk's path text
  uint64_t depth = 0;      // below the root
  // Where the tree's storage stood before the node was made, and after it
  // was made and named: what it made since then is its subtree.
  directory_tree::mark before;
  directory_tree::mark after;
  bool kept_by_parent = true;
  // Its own entries' and, once they are counted, its subdirectories'.
  subtree_details details = {};
};

// A new directory and where the tree's storage stood around its making.
struct made_directory {
  directory_node* node;
  directory_tree::mark before;
  directory_tree::mark after;
  bool kept_by_parent;
};

// Files with several names, each under the identity all its names share.
class files_seen {
 public:
  // True the first time the file is met.
  bool first_meeting(const linked_file& file) { return seen_.insert({file.device, file.inode}).second; }

 private:
  struct identity_hash {
    size_t operator()(const std::pair<uint64_t, uint64_t>& id) const {
      return std::hash<uint64_t>()(id.first * 0x9e3779b97f4a7c15ULL ^ id.second);
    }
  };
  std::unordered_set<std::pair<uint64_t, uint64_t>, identity_hash> seen_;
};

const detail_options kNoDetails;

// The walk commits what the source read, in the order a depth-first scan
// meets it: it alone creates nodes, adds up counts and speaks.
class walk {
 public:
  walk(directory_tree& tree, directory_source& source, diagnostics& diag, const scan_options& options)
      : tree_(tree),
        source_(source),
        diag_(diag),
        retention_(options.retention),
        counted_(options.counted),
        ledger_(options.ledger),
        details_(options.ledger != nullptr ? options.ledger->options() : kNoDetails) {}

  void run(directory_node* root, const std::string& root_path) {
    path_ = root_path;
    root_length_ = root_path.size();
    const directory_tree::mark now = tree_.current_mark();
    if (!enter({root, now, now, true}, nullptr, 0)) return;
    while (!levels_.empty()) step();
  }

 private:
  // Announces the directory at path_, has the source open and read it, and
  // makes it the deepest level. False when it could not be opened.
  bool enter(const made_directory& made, const char* name, size_t ordinal) {
    directory_node* node = made.node;
    if (diag_.shows(verbosity::operations)) diag_.write("*** jumper " + path_ + " " + node_id(node) + "\r\n");
    if (diag_.shows(verbosity::entries)) diag_.writef("** scanning %s\n", path_.c_str());
    if (diag_.shows(verbosity::operations)) diag_.write("*** try to open directory\r\n");
    const directory_contents* contents = nullptr;
    const status opened = source_.enter(name, ordinal, contents);
    if (!opened.is_ok()) {
      diag_.report_failure("Konnte Verzeichnis nicht oeffnen", opened);
      node->gaps |= kGapUnread;
      finish(made, levels_.empty() ? 0 : levels_.back().depth + 1, {});
      return false;
    }
    node->files = contents->files;
    node->symlinks = contents->symlinks;
    node->devices = contents->devices;
    node->size = contents->size;
    diag_.progress().directory_scanned(contents->entries, node->size);
    const uint64_t depth = levels_.empty() ? 0 : levels_.back().depth + 1;
    levels_.push_back({node, contents, 0, 0, 0, path_.size(), depth, made.before, made.after, made.kept_by_parent});
    if (ledger_ != nullptr) take_details(levels_.back().details, *contents);
    return true;
  }

  // The details of the directory's own entries; its largest files get
  // their paths below the root.
  void take_details(subtree_details& details, const directory_contents& own) {
    details.owners = own.details.owners;
    details.ages = own.details.ages;
    details.largest = largest_files(details_.largest);
    for (const largest_candidates::candidate& file : own.largest.candidates())
      details.largest.rank(path_below_root(own.largest.name(file)), file.bytes, file.modified, file.owner);
  }

  // The path of the entry of the directory at path_, relative to the root.
  std::string_view path_below_root(std::string_view name) {
    below_.clear();
    if (path_.size() > root_length_) {
      below_.assign(path_, root_length_ + 1);
      below_ += '/';
    }
    below_ += name;
    return below_;
  }

  void step() {
    walked_directory& current = levels_.back();
    const directory_contents& contents = *current.contents;
    const bool trace_all = diag_.shows(verbosity::operations);
    if (trace_all) diag_.write("*** try to read a directory entry\r\n");
    if (current.next_entry == contents.pending.size()) {
      leave(current);
      return;
    }
    const size_t index = current.next_entry++;
    const pending_entry& entry = contents.pending[index];
    const std::string_view name = contents.names.view(index);
    if (entry.linked) count_once(current, contents.linked_files[current.next_linked_file++], name);
    // "." and ".." wait only in case their status fails or is traced, a
    // file with several names only to be counted once.
    if (!trace_all && entry.error_number == 0 &&
        (entry.linked || (entry.type == entry_status::kind::directory && is_dot_or_dot_dot(name)))) {
      return;
    }
    path_.resize(current.path_length);
    path_.push_back('/');
    path_.append(name);
    if (trace_all) diag_.writef("*** try to stat %s\r\n", path_.c_str());

    if (entry.error_number != 0) {
      diag_.report_failure("Konnte Datei nicht stat'ten", status::error(entry.error_number));
      current.node->gaps |= kGapUnread;
      return;
    }
    switch (entry.type) {
      case entry_status::kind::directory:
        if (is_dot_or_dot_dot(name)) break;
        if (entry.elsewhere) {
          pass_by(current, name.data(), name.size());
        } else {
          descend(current, name.data(), name.size());
        }
        break;
      case entry_status::kind::symlink: diag_.writef("** detecting symlink %s\r\n", path_.c_str()); break;
      case entry_status::kind::regular: diag_.writef("** detecting regular file %s\r\n", path_.c_str()); break;
      case entry_status::kind::other: diag_.writef("** detecting device file or fifo %s\r\n", path_.c_str()); break;
      case entry_status::kind::skipped: break;
    }
  }

  made_directory add_child(walked_directory& current, const char* name, size_t name_length) {
    if (diag_.shows(verbosity::entries)) diag_.writef("** detecting directory %s\r\n", path_.c_str());
    const directory_tree::mark before = tree_.current_mark();
    const bool kept = retention_.may_keep(current.depth);
    directory_node* child = tree_.create_directory_node();
    tree_.add_subdir_to_directory(current.node, child, kept);
    tree_.set_name(child, name, name_length);
    return {child, before, tree_.current_mark(), kept};
  }

  void descend(walked_directory& current, const char* name, size_t name_length) {
    const made_directory child = add_child(current, name, name_length);
    // `current` may move when the level stack grows; it is not used after this.
    enter(child, name, current.next_subdirectory++);
  }

  // A directory on another file system stays a subdirectory of its parent,
  // with nothing counted in it.
  void pass_by(walked_directory& current, const char* name, size_t name_length) {
    const made_directory child = add_child(current, name, name_length);
    child.node->gaps |= kGapNotEntered;
    if (diag_.shows(verbosity::steps)) diag_.writef("* nicht betreten (anderes Dateisystem): %s\r\n", path_.c_str());
    finish(child, current.depth + 1, {});
  }

  void count_once(walked_directory& current, const linked_file& file, std::string_view name) {
    if (!seen_.first_meeting(file)) return;
    const auto bytes = static_cast<uint64_t>(file.size);
    current.node->files += 1;
    current.node->size.add(bytes);
    if (ledger_ == nullptr) return;
    current.details.count(details_, file.owner, file.modified, bytes, 1);
    if (!current.details.largest.could_rank(bytes)) return;
    path_.resize(current.path_length);
    current.details.largest.rank(path_below_root(name), bytes, file.modified, file.owner);
  }

  // Ends the deepest level: its totals join its parent's totals below.
  void leave(const walked_directory& current) {
    if (!current.contents->listing_failure.is_ok()) {
      diag_.report_failure("Konnte Verzeichniseintrag nicht lesen", current.contents->listing_failure);
      current.node->gaps |= kGapUnread;
    } else if (diag_.shows(verbosity::operations)) {
      diag_.write("*** end of directory\r\n");
    }
    source_.leave();
    const made_directory made{current.node, current.before, current.after, current.kept_by_parent};
    const uint64_t depth = current.depth;
    subtree_details details = std::move(levels_.back().details);
    levels_.pop_back();
    finish(made, depth, std::move(details));
  }

  // Everything below the directory is counted: its totals join its
  // parent's, and what nothing will show is given back.
  void finish(const made_directory& made, uint64_t depth, subtree_details details) {
    directory_node* node = made.node;
    if (node->parent != nullptr) join_parent(node);
    if (!retention_.keeps(*node, depth)) {
      tree_.release_to(made.after);
      tree_.drop_children(node);
    }
    const bool has_pages = node->parent == nullptr || node->currentsubdirs() > 0;
    if (ledger_ == nullptr) {
      if (counted_) counted_(node, nullptr);
    } else if (has_pages) {
      details.largest.place_own_files(node->id(), true);
      // Kept for its pages, where writers find them once it is counted.
      if (node->parent != nullptr) levels_.back().details.merge(details);
      ledger_->keep(node, std::move(details));
      if (counted_) counted_(node, &ledger_->details(node));
    } else {
      details.largest.place_own_files(node->id(), false);
      // The parent, the deepest level now, takes them over.
      if (counted_) counted_(node, &details);
      levels_.back().details.merge(std::move(details));
    }
    if (!made.kept_by_parent) tree_.release_to(made.before);
  }

  directory_tree& tree_;
  directory_source& source_;
  diagnostics& diag_;
  const retention_rule& retention_;
  const counted_function& counted_;
  detail_ledger* ledger_;
  const detail_options& details_;
  std::string path_;
  size_t root_length_ = 0;
  std::string below_;
  std::vector<walked_directory> levels_;
  files_seen seen_;
};

}  // namespace

void jumper(directory_tree& tree, directory_node* root, const std::string& root_path, file_system& files,
            diagnostics& diag, scan_options options) {
  const read_options reading{.trace_every_entry = diag.shows(verbosity::operations),
                             .trace_links_and_others = diag.shows(verbosity::entries),
                             .one_file_system = options.one_file_system,
                             .hard_links_once = options.hard_links_once,
                             .allocated = options.allocated,
                             .details = options.ledger != nullptr ? options.ledger->options() : detail_options(),
                             .passed_over = options.passed_over};
  std::unique_ptr<directory_source> source;
  if (options.threads > 1) {
    auto ahead = std::make_unique<read_ahead>(files, root_path, reading, options.threads, options.descriptor_budget);
    // Without a single worker it would only be a slower way of reading.
    if (ahead->workers() > 0) source = std::move(ahead);
  }
  if (source == nullptr)
    source = std::make_unique<sequential_source>(files, root_path, reading, options.descriptor_budget);
  walk(tree, *source, diag, options).run(root, root_path);
}

int scan_descriptors(const scan_options& options) {
  if (options.threads > 1) return read_ahead::descriptors(options.threads, options.descriptor_budget);
  return sequential_source::descriptors(options.descriptor_budget);
}

}  // namespace quern
