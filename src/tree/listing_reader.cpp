#include "tree/listing_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/refusal_reasons.h"
#include "base/text.h"
#include "tree/directory_index.h"
#include "tree/listing_details.h"

namespace quern {

namespace {

enum class record_kind { directory, regular, symlink, other, unknown };

// The letters find's %y prints.
record_kind kind_of(char letter) {
  switch (letter) {
    case 'd': return record_kind::directory;
    case 'f': return record_kind::regular;
    case 'l': return record_kind::symlink;
    case 'p':
    case 's':
    case 'c':
    case 'b':
    case 'D':
    case 'U': return record_kind::other;
    default: return record_kind::unknown;
  }
}

class listing_reader {
 public:
  listing_reader(directory_tree& tree, directory_node* root, std::string_view root_path, const listing_source& source,
                 bool owner_field, bool allocated, listed_details* details, diagnostics& diag)
      : tree_(tree),
        root_(root),
        root_path_(without_trailing_slashes(root_path)),
        terminator_(source.terminator),
        owner_field_(owner_field),
        allocated_(allocated),
        details_(details),
        diag_(diag),
        levels_{{root, 0}} {
    if (source.fields) {
      for (const listing_field field : *source.fields) {
        if (field != listing_field::owner) fields_.push_back(field);
      }
    } else {
      fields_ = {listing_field::type, listing_field::size};
    }
  }

  // Takes every record the input holds. Records may straddle the blocks
  // read; only the one record not yet complete is ever moved.
  status read(input_file& input, const listing_buffer_sizes& sizes) {
    std::vector<char> buffer(std::max<size_t>(sizes.block, 1));
    size_t start = 0;       // of the record not yet taken
    size_t end = 0;         // of the bytes read
    bool skipping = false;  // the record outgrew the longest size and is passed over
    for (;;) {
      if (start == end) start = end = 0;
      if (end == buffer.size()) {
        if (start > 0) {
          std::memmove(buffer.data(), buffer.data() + start, end - start);
          end -= start;
          start = 0;
        } else if (buffer.size() < sizes.longest_record) {
          buffer.resize(std::min(buffer.size() * 2, sizes.longest_record));
        } else {
          skipping = true;
          start = end = 0;
        }
      }
      size_t got = 0;
      const status result = input.read(buffer.data() + end, buffer.size() - end, got);
      if (!result.is_ok()) return result;
      if (got == 0) break;
      const char* data = buffer.data();
      size_t from = end;
      end += got;
      while (const void* found = std::memchr(data + from, terminator_, end - from)) {
        const size_t stop = static_cast<size_t>(static_cast<const char*>(found) - data);
        ++number_;
        if (skipping) {
          bad(refusal::kMalformed);
          skipping = false;
        } else {
          take(std::string_view(data + start, stop - start));
        }
        start = from = stop + 1;
      }
    }
    if (skipping || start < end) {
      ++number_;
      bad(refusal::kUnterminated);
    }
    return status::ok();
  }

  // Puts every directory's children in name order, numbers the nodes in
  // pre-order, adds up the totals below each directory, has each counted
  // and lets go of the subtrees that the rule does not keep.
  void finish(const retention_rule& retention, const counted_function& counted) {
    index_ = directory_index();
    listed_ = std::vector<bool>();
    std::vector<directory_node*> pending{root_};
    uint64_t next_id = root_->id();
    while (!pending.empty()) {
      directory_node* node = pending.back();
      pending.pop_back();
      node->set_id(next_id++);
      directory_node** children = node->subdirpointer;
      std::sort(children, children + node->subdirs,
                [](const directory_node* a, const directory_node* b) { return std::strcmp(a->name, b->name) < 0; });
      for (int64_t slot = node->subdirs; slot-- > 0;) pending.push_back(children[slot]);
    }
    if (details_ != nullptr) details_->name_owners();
    add_up_in_post_order(retention, counted);
    if (!retention.keeps_everything()) release_unkept(retention);
    if (details_ != nullptr) details_->hand_over(root_);
  }

 private:
  // Every directory after everything below it, so that its totals are
  // complete when it is counted and when they join its parent's.
  void add_up_in_post_order(const retention_rule& retention, const counted_function& counted) {
    std::vector<std::pair<directory_node*, int64_t>> pending{{root_, 0}};  // and its next child
    while (!pending.empty()) {
      auto& [node, next] = pending.back();
      if (next < node->subdirs) {
        directory_node* child = node->subdirpointer[next++];
        pending.push_back({child, 0});
        continue;
      }
      if (counted) counted(node, details_ != nullptr ? &details_->details(node) : nullptr);
      if (details_ != nullptr) {
        // The rule keeps every directory above one it keeps.
        const bool has_pages = node == root_ || (node->subdirs > 0 && retention.keeps(*node, pending.size() - 1));
        details_->complete(node, has_pages);
      }
      if (node != root_) join_parent(node);
      pending.pop_back();
    }
  }

  // The whole tree is there before anything is counted, so nothing can be
  // given back early; the directories the rule does not keep only lose
  // their children, as they would in a scan.
  void release_unkept(const retention_rule& retention) {
    std::vector<std::pair<directory_node*, uint64_t>> pending{{root_, 0}};
    while (!pending.empty()) {
      const auto [node, depth] = pending.back();
      pending.pop_back();
      if (!retention.keeps(*node, depth)) {
        tree_.drop_children(node);
        continue;
      }
      for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
        pending.push_back({node->subdirpointer[slot], depth + 1});
      }
    }
  }

  // One directory on the path resolved last, and where its name ends there.
  struct resolved_directory {
    directory_node* node;
    size_t end;
  };

  // A decimal number of at most 63 bits.
  static bool parse_number(std::string_view text, int64_t& value) {
    value = 0;
    if (text.empty()) return false;
    for (const char c : text) {
      if (c < '0' || c > '9') return false;
      const int digit = c - '0';
      if (value > (INT64_MAX - digit) / 10) return false;
      value = value * 10 + digit;
    }
    return true;
  }

  // Seconds as find's %T@ writes them, with an optional sign and fraction,
  // rounded down.
  static bool parse_time(std::string_view text, int64_t& seconds) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    const size_t point = text.find('.');
    const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
    if (point != std::string_view::npos &&
        (fraction.empty() || fraction.find_first_not_of("0123456789") != std::string_view::npos))
      return false;
    if (!parse_number(text.substr(0, point), seconds)) return false;
    if (negative) seconds = -seconds - (fraction.find_first_not_of('0') != std::string_view::npos ? 1 : 0);
    return true;
  }

  void take(std::string_view record) {
    if (record.size() < 5 || (fields_[0] == listing_field::type && record[1] != ' ')) return bad(refusal::kMalformed);
    record_kind kind = record_kind::unknown;
    int64_t size = 0;
    int64_t modified = 0;
    int64_t blocks = 0;
    std::string_view rest = record;
    for (const listing_field field : fields_) {
      const size_t blank = rest.find(' ');
      if (blank == std::string_view::npos || blank + 1 == rest.size()) return bad(refusal::kMalformed);
      const std::string_view value = rest.substr(0, blank);
      rest.remove_prefix(blank + 1);
      switch (field) {
        case listing_field::type:
          if (value.size() != 1) return bad(refusal::kMalformed);
          kind = kind_of(value[0]);
          if (kind == record_kind::unknown) return bad(refusal::kUnknownType);
          break;
        case listing_field::size:
          if (!parse_number(value, size)) return bad(refusal::kMalformed);
          break;
        case listing_field::time:
          if (!parse_time(value, modified)) return bad(refusal::kMalformed);
          break;
        case listing_field::blocks:
          if (!parse_number(value, blocks) || blocks > INT64_MAX / 512) return bad(refusal::kMalformed);
          break;
        case listing_field::owner: break;
      }
    }
    std::string_view path = rest;
    // Only a record ended by a newline can hold a NUL, and no name can.
    if (terminator_ != '\0' && path.find('\0') != std::string_view::npos) return bad(refusal::kMalformed);
    std::string_view owner;
    if (owner_field_) {
      if (lies_in_root(path, root_path_)) return bad(refusal::kNoOwner);
      const size_t blank = path.find(' ');
      if (blank == 0 || blank == std::string_view::npos || blank + 1 == path.size()) return bad(refusal::kMalformed);
      const size_t end = owner_end(path, root_path_);
      if (end == std::string_view::npos) return bad(refusal::kOutsideRoot);
      owner = path.substr(0, end);
      path.remove_prefix(end + 1);
    }
    if (!lies_in_root(path, root_path_)) return bad(refusal::kOutsideRoot);

    const std::string_view below = without_trailing_slashes(path.substr(root_path_.size()));
    if (below.empty()) {
      if (kind != record_kind::directory) return bad(refusal::kRootNotDirectory);
      if (listed_before(root_)) return bad(refusal::kListedTwice);
      return;
    }
    if (kind == record_kind::directory) {
      directory_node* node = directory_at(below);
      if (node == nullptr) return bad(refusal::kDotName);
      if (listed_before(node)) return bad(refusal::kListedTwice);
      return;
    }
    const size_t slash = below.rfind('/');  // below begins with one
    if (is_dot_or_dot_dot(below.substr(slash + 1))) return bad(refusal::kDotName);
    directory_node* parent = directory_at(without_trailing_slashes(below.substr(0, slash)));
    if (parent == nullptr) return bad(refusal::kDotName);
    const auto bytes = static_cast<uint64_t>(allocated_ ? blocks * 512 : size);
    switch (kind) {
      case record_kind::regular:
        parent->files += 1;
        parent->size.add(bytes);
        if (details_ != nullptr) details_->add(parent, owner, modified, bytes, 1, below);
        break;
      case record_kind::symlink:
        parent->symlinks += 1;
        parent->size.add(bytes);
        if (details_ != nullptr) details_->add(parent, owner, modified, bytes, 0, {});
        break;
      default: parent->devices += 1; break;
    }
  }

  // The directory at `path` below the root ("" or "/a/b", no trailing
  // slash), made with any directories above it that are not there yet;
  // null when a name on the way is "." or "..". Consecutive records mostly
  // lie in one directory, or close to the one before, so the names shared
  // with the path resolved last are not looked up again.
  directory_node* directory_at(std::string_view path) {
    if (path.size() == current_.size() && std::memcmp(path.data(), current_.data(), path.size()) == 0)
      return levels_.back().node;
    const size_t same = static_cast<size_t>(
        std::mismatch(path.begin(), path.end(), current_.begin(), current_.end()).first - path.begin());
    while (levels_.size() > 1) {
      const size_t end = levels_.back().end;
      if (end < same || (end == same && (end == path.size() || path[end] == '/'))) break;
      levels_.pop_back();
    }
    const size_t kept = levels_.back().end;
    current_.resize(kept);
    // Every new name is checked before a directory is made for any of them.
    for (size_t at = kept; at < path.size();) {
      const size_t begin = path.find_first_not_of('/', at);
      const size_t finish = std::min(path.find('/', begin), path.size());
      if (is_dot_or_dot_dot(path.substr(begin, finish - begin))) return nullptr;
      at = finish;
    }
    for (size_t at = kept; at < path.size();) {
      const size_t begin = path.find_first_not_of('/', at);
      const size_t finish = std::min(path.find('/', begin), path.size());
      levels_.push_back({child(levels_.back().node, path.substr(begin, finish - begin)), finish});
      at = finish;
    }
    current_.append(path.substr(kept));
    return levels_.back().node;
  }

  // The subdirectory `name` of `parent`, made and counted as a
  // subdirectory of its parent the first time it is named.
  directory_node* child(directory_node* parent, std::string_view name) {
    const uint64_t hash = directory_index::hash(parent, name);
    if (parent->subdirs > 0) {
      if (directory_node* found = index_.find(parent, name, hash); found != nullptr) return found;
    }
    directory_node* node = tree_.create_directory_node();
    tree_.add_subdir_to_directory(parent, node);
    tree_.set_name(node, name.data(), name.size());
    index_.insert(node, hash);
    return node;
  }

  // Whether the directory had a record of its own before; from now on it has.
  bool listed_before(const directory_node* node) {
    const size_t index = static_cast<size_t>(node->id());
    if (listed_.size() <= index) listed_.resize(index + 1);
    if (listed_[index]) return true;
    listed_[index] = true;
    return false;
  }

  void bad(const char* reason) {
    message_.clear();
    append_format(message_, "Fehlerhafter Listeneintrag %llu: %s\r\n", static_cast<unsigned long long>(number_),
                  reason);
    diag_.report_failure_line(message_);
  }

  directory_tree& tree_;
  directory_node* root_;
  std::string_view root_path_;  // as records begin with it
  char terminator_;
  bool owner_field_;
  bool allocated_;
  listed_details* details_;
  // The fields before the path, an owner aside.
  std::vector<listing_field> fields_;
  diagnostics& diag_;
  uint64_t number_ = 0;  // of the record being taken, from 1
  std::string current_;  // the path below the root resolved last
  std::vector<resolved_directory> levels_;
  directory_index index_;
  std::vector<bool> listed_;  // by creation number
  std::string message_;
};

}  // namespace

void read_listing(directory_tree& tree, directory_node* root, const std::string& root_path,
                  const listing_source& source, file_system& files, diagnostics& diag, const retention_rule& retention,
                  const counted_function& counted, listing_buffer_sizes sizes) {
  opened_listing listing = open_listing(source, root_path, files, sizes.longest_record);
  read_listing(tree, root, root_path, listing, source, diag, retention, {}, counted, sizes);
}

void read_listing(directory_tree& tree, directory_node* root, const std::string& root_path, opened_listing& listing,
                  const listing_source& source, diagnostics& diag, const retention_rule& retention,
                  const listing_counting& counting, const counted_function& counted, listing_buffer_sizes sizes) {
  if (listing.input == nullptr) {
    // The listing stands for the root's directory: the root stays empty.
    diag.report_failure("Konnte Verzeichnis nicht oeffnen", listing.opened);
    root->gaps |= kGapUnread;
    const subtree_details none;
    if (counted) counted(root, counting.ledger != nullptr ? &none : nullptr);
    return;
  }
  const bool owner_field =
      listing.owner_field.value_or(counting.ledger != nullptr && counting.ledger->options().owners);
  std::optional<listed_details> details;
  if (counting.ledger != nullptr) details.emplace(*counting.ledger, counting.ledger->options());
  listing_reader reader(tree, root, root_path, source, owner_field, counting.allocated, details ? &*details : nullptr,
                        diag);
  const status read = reader.read(*listing.input, sizes);
  if (!read.is_ok()) {
    diag.report_failure("Konnte Verzeichniseintrag nicht lesen", read);
    root->gaps |= kGapUnread;
  }
  reader.finish(retention, counted);
}

}  // namespace quern
