#include "tree/scanner.h"

#include <cstring>
#include <vector>

namespace quern {

namespace {

bool is_dot_or_dot_dot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// An entry that still has something to do once its turn comes: a
// subdirectory to scan, a failure or a trace line to report. Everything else
// is counted while the directory is listed, so a level holds little more
// than its subdirectories, however large its listing.
struct pending_entry {
  entry_status::kind type;
  int error_number;
};

status read_all_names(open_directory& directory, name_list& names) {
  for (;;) {
    const size_t before = names.size();
    const status read = directory.read_names(names);
    if (!read.is_ok() || names.size() == before) return read;
  }
}

struct listed_status {
  entry_status entry;
  status outcome;
};

// One directory on the path from the root to the directory being scanned.
// Levels are reused as the walk goes up and down, so their buffers keep
// their capacity.
struct level {
  directory_node* node = nullptr;
  std::unique_ptr<open_directory> handle;  // null when released
  name_list names;                         // of the pending entries
  std::vector<pending_entry> pending;
  status listing_failure;
  size_t next_entry = 0;
  size_t unopened_subdirectories = 0;
  size_t path_length = 0;  // of this directory's path in the scanner's path text
};

class scanner {
 public:
  scanner(directory_tree& tree, file_system& files, diagnostics& diag, int descriptor_budget)
      : tree_(tree), files_(files), diag_(diag), budget_(descriptor_budget < 2 ? 2 : descriptor_budget) {}

  void run(directory_node* root, const std::string& root_path) {
    root_path_ = root_path;
    path_ = root_path;
    if (!enter(root)) return;
    while (depth_ > 0) step();
  }

 private:
  level& top() { return levels_[depth_ - 1]; }

  // Announces the directory at path_, opens and lists it, and makes it the
  // deepest level. False when it could not be opened.
  bool enter(directory_node* node) {
    if (diag_.above(2)) diag_.write("*** jumper " + path_ + " " + node_id(node) + "\r\n");
    if (diag_.above(1)) diag_.writef("** scanning %s\n", path_.c_str());
    if (diag_.above(2)) diag_.write("*** try to open directory\r\n");

    std::unique_ptr<open_directory> handle;
    const status opened = depth_ == 0 ? open_with_budget(nullptr, nullptr, handle)
                                      : open_child(node->name, handle);
    if (!opened.is_ok()) {
      diag_.report_failure("Konnte Verzeichnis nicht oeffnen", opened);
      return false;
    }
    if (levels_.size() == depth_) levels_.emplace_back();
    level& entered = levels_[depth_++];
    entered.node = node;
    hold(entered, std::move(handle));
    entered.path_length = path_.size();
    entered.next_entry = 0;
    listing_.clear();
    entered.listing_failure = read_all_names(*entered.handle, listing_);
    take_stock(entered);
    if (entered.unopened_subdirectories == 0) release(entered);
    return true;
  }

  // Entries are stat'ed as soon as their directory is listed, so that the
  // directory's descriptor can be given up before its subdirectories are
  // scanned. What is reported, and in which order, is unchanged: whatever
  // must be said or scanned waits in the level's pending list.
  void take_stock(level& current) {
    statuses_.resize(listing_.size());
    bool searchable = false;
    for (size_t i = 0; i < listing_.size(); ++i) {
      if (is_dot_or_dot_dot(listing_[i])) continue;
      statuses_[i].outcome = current.handle->stat_entry(listing_[i], statuses_[i].entry);
      searchable = searchable || statuses_[i].outcome.is_ok();
    }
    // "." and ".." are directories, and they can be stat'ed exactly when
    // the directory can be searched; one entry stat'ed shows that it can.
    for (size_t i = 0; i < listing_.size(); ++i) {
      if (!is_dot_or_dot_dot(listing_[i])) continue;
      statuses_[i].entry.type = entry_status::kind::directory;
      statuses_[i].outcome = searchable ? status::ok() : current.handle->stat_entry(listing_[i], statuses_[i].entry);
    }

    const bool trace_all = diag_.above(2);
    const bool trace_links_and_others = diag_.above(1);
    directory_node* node = current.node;
    current.names.clear();
    current.pending.clear();
    current.unopened_subdirectories = 0;
    for (size_t i = 0; i < listing_.size(); ++i) {
      const char* name = listing_[i];
      const entry_status& entry = statuses_[i].entry;
      const status outcome = statuses_[i].outcome;
      bool keep = trace_all || !outcome.is_ok();
      if (outcome.is_ok()) {
        switch (entry.type) {
          case entry_status::kind::directory:
            if (!is_dot_or_dot_dot(name)) {
              ++current.unopened_subdirectories;
              keep = true;
            }
            break;
          case entry_status::kind::symlink:
            node->symlinks += 1;
            node->size += entry.size;
            keep = keep || trace_links_and_others;
            break;
          case entry_status::kind::regular:
            node->files += 1;
            node->size += entry.size;
            break;
          case entry_status::kind::other:
            node->devices += 1;
            keep = keep || trace_links_and_others;
            break;
          case entry_status::kind::skipped:
            break;
        }
      }
      if (!keep) continue;
      current.names.add(std::string_view(name, listing_.length(i)));
      current.pending.push_back({entry.type, outcome.error_number()});
    }
  }

  void step() {
    level& current = top();
    if (diag_.above(2)) diag_.write("*** try to read a directory entry\r\n");
    if (current.next_entry == current.pending.size()) {
      leave(current);
      return;
    }
    const size_t index = current.next_entry++;
    const char* name = current.names[index];
    const size_t name_length = current.names.length(index);
    path_.resize(current.path_length);
    path_.push_back('/');
    path_.append(name, name_length);
    if (diag_.above(2)) diag_.writef("*** try to stat %s\r\n", path_.c_str());

    const pending_entry& entry = current.pending[index];
    if (entry.error_number != 0) {
      diag_.report_failure("Konnte Datei nicht stat'ten", status::error(entry.error_number));
      return;
    }
    switch (entry.type) {
      case entry_status::kind::directory:
        if (!is_dot_or_dot_dot(name)) descend(current, name, name_length);
        break;
      case entry_status::kind::symlink:
        diag_.writef("** detecting symlink %s\r\n", path_.c_str());
        break;
      case entry_status::kind::regular:
        diag_.writef("** detecting regular file %s\r\n", path_.c_str());
        break;
      case entry_status::kind::other:
        diag_.writef("** detecting device file or fifo %s\r\n", path_.c_str());
        break;
      case entry_status::kind::skipped:
        break;
    }
  }

  void descend(level& current, const char* name, size_t name_length) {
    if (diag_.above(1)) diag_.writef("** detecting directory %s\r\n", path_.c_str());
    directory_node* child = tree_.create_directory_node();
    tree_.add_subdir_to_directory(current.node, child);
    tree_.set_name(child, name, name_length);
    --current.unopened_subdirectories;
    // `current` may move when the level stack grows; it is not used after this.
    const size_t parent_depth = depth_;
    enter(child);
    level& parent = levels_[parent_depth - 1];
    if (parent.unopened_subdirectories == 0) release(parent);
  }

  // Ends the deepest level: its totals join its parent's totals below.
  void leave(level& current) {
    if (!current.listing_failure.is_ok()) {
      diag_.report_failure("Konnte Verzeichniseintrag nicht lesen", current.listing_failure);
    } else if (diag_.above(2)) {
      diag_.write("*** end of directory\r\n");
    }
    release(current);
    const directory_node* node = current.node;
    if (directory_node* parent = node->parent; parent != nullptr) {
      parent->recurfiles += node->files + node->recurfiles;
      parent->recursymlinks += node->symlinks + node->recursymlinks;
      parent->recurdevices += node->devices + node->recurdevices;
      parent->recursize += node->size + node->recursize;
      parent->recursubdirs += node->subdirs + node->recursubdirs;
    }
    --depth_;
  }

  void hold(level& l, std::unique_ptr<open_directory> handle) {
    l.handle = std::move(handle);
    ++held_;
  }

  void release(level& l) {
    if (l.handle == nullptr) return;
    l.handle.reset();
    --held_;
  }

  // Opens the subdirectory `name` of the deepest level, first reaching that
  // level's directory again if its descriptor was given up.
  status open_child(const char* name, std::unique_ptr<open_directory>& result) {
    const size_t parent_index = depth_ - 1;
    if (levels_[parent_index].handle == nullptr) {
      const status reached = reacquire(parent_index);
      if (!reached.is_ok()) return reached;
    }
    return open_with_budget(&levels_[parent_index], name, result);
  }

  // Opens a level's directory again, from the nearest level above it that is
  // still open, one name at a time, so no path longer than one name is used.
  status reacquire(size_t index) {
    size_t anchor = index;
    while (anchor > 0 && levels_[anchor - 1].handle == nullptr) --anchor;
    // Levels anchor .. index are closed; anchor - 1 is open, or anchor is the root.
    for (size_t i = anchor; i <= index; ++i) {
      std::unique_ptr<open_directory> handle;
      const status opened = i == 0 ? open_with_budget(nullptr, nullptr, handle)
                                   : open_with_budget(&levels_[i - 1], levels_[i].node->name, handle);
      if (i > 0 && levels_[i - 1].unopened_subdirectories == 0 && i - 1 < index) release(levels_[i - 1]);
      if (!opened.is_ok()) return opened;
      hold(levels_[i], std::move(handle));
    }
    return status::ok();
  }

  // Opens a subdirectory of `from` (the root when null) within the budget of
  // descriptors, giving up the shallowest held ones first: they are needed
  // again last.
  status open_with_budget(level* from, const char* name, std::unique_ptr<open_directory>& result) {
    for (;;) {
      while (held_ >= budget_ && evict_shallowest(from)) {
      }
      const status opened = from == nullptr ? files_.open_directory_at_path(root_path_, result)
                                            : from->handle->open_subdirectory(name, result);
      if (opened.is_ok() || (opened.error_number() != EMFILE && opened.error_number() != ENFILE)) return opened;
      // The process or system ran out of descriptors: live with fewer.
      if (!evict_shallowest(from)) return opened;
      budget_ = held_ + 1 > 2 ? held_ + 1 : 2;
    }
  }

  bool evict_shallowest(const level* keep) {
    for (size_t i = 0; i < depth_; ++i) {
      if (levels_[i].handle != nullptr && &levels_[i] != keep) {
        release(levels_[i]);
        return true;
      }
    }
    return false;
  }

  directory_tree& tree_;
  file_system& files_;
  diagnostics& diag_;
  int budget_;
  int held_ = 0;
  std::string root_path_;
  std::string path_;
  // The directory being entered, shared by all levels.
  name_list listing_;
  std::vector<listed_status> statuses_;
  std::vector<level> levels_;
  size_t depth_ = 0;
};

}  // namespace

void jumper(directory_tree& tree, directory_node* root, const std::string& root_path, file_system& files,
            diagnostics& diag, int descriptor_budget) {
  scanner(tree, files, diag, descriptor_budget).run(root, root_path);
}

}  // namespace quern
