#include "tree/listing_owners.h"

#include <cstring>
#include <utility>

#include "tree/directory_node.h"
#include "tree/listing_reader.h"

namespace quern {

namespace {

// The first record is looked for in reads of this size; standard input
// delivers it as soon as it is there.
constexpr size_t kFirstReads = size_t{64} << 10;

// Gives what was read to decide first, then the rest of the input as it
// comes; a failure or the end met while deciding is met again after it.
class replayed_input final : public input_file {
 public:
  replayed_input(std::string head, status failure, bool ended, std::unique_ptr<input_file> rest)
      : head_(std::move(head)), failure_(failure), ended_(ended), rest_(std::move(rest)) {}

  status read(char* buffer, size_t capacity, size_t& got) override {
    if (next_ < head_.size()) {
      got = std::min(capacity, head_.size() - next_);
      std::memcpy(buffer, head_.data() + next_, got);
      next_ += got;
      // Given once: the first record may have been a long one.
      if (next_ == head_.size()) head_ = std::string();
      return status::ok();
    }
    if (!failure_.is_ok()) return failure_;
    if (ended_) {
      got = 0;
      return status::ok();
    }
    return rest_->read(buffer, capacity, got);
  }

 private:
  std::string head_;
  size_t next_ = 0;
  status failure_;
  // A terminal would wait for more after its end.
  bool ended_;
  std::unique_ptr<input_file> rest_;
};

}  // namespace

std::string_view without_trailing_slashes(std::string_view path) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  return path;
}

bool lies_in_root(std::string_view path, std::string_view root) {
  return path.substr(0, root.size()) == root && (path.size() == root.size() || path[root.size()] == '/');
}

bool names_owner(std::string_view record, std::string_view root) {
  if (record.size() < 3 || record[1] != ' ') return false;
  size_t at = 2;
  while (at < record.size() && record[at] >= '0' && record[at] <= '9') ++at;
  if (at == 2 || at >= record.size() || record[at] != ' ') return false;
  const std::string_view rest = record.substr(at + 1);
  return !lies_in_root(rest, root) && owner_end(rest, root) != std::string_view::npos;
}

size_t owner_end(std::string_view rest, std::string_view root) {
  for (size_t blank = rest.find(' '); blank != std::string_view::npos; blank = rest.find(' ', blank + 1)) {
    if (blank > 0 && lies_in_root(rest.substr(blank + 1), root)) return blank;
  }
  return std::string_view::npos;
}

opened_listing open_listing(const listing_source& source, std::string_view root_path, file_system& files,
                            size_t longest_record) {
  opened_listing listing;
  std::unique_ptr<input_file> input;
  if (source.path == "-") {
    input = files.standard_input();
  } else if (listing.opened = files.open_input_file(source.path, input); !listing.opened.is_ok()) {
    return listing;
  }
  std::string head;
  status failure;
  bool ended = false;
  size_t end = std::string::npos;
  while (end == std::string::npos && head.size() < longest_record) {
    const size_t start = head.size();
    head.resize(start + kFirstReads);
    size_t got = 0;
    failure = input->read(head.data() + start, kFirstReads, got);
    head.resize(start + (failure.is_ok() ? got : 0));
    if (!failure.is_ok()) break;
    if (got == 0) {
      ended = true;
      break;
    }
    end = head.find(source.terminator, start);
  }
  if (end != std::string::npos && end < longest_record)
    listing.owner_field = names_owner(std::string_view(head).substr(0, end), without_trailing_slashes(root_path));
  listing.ended_before_record = end == std::string::npos && ended;
  if (end == std::string::npos) listing.first_read = failure;
  listing.input = std::make_unique<replayed_input>(std::move(head), failure, ended, std::move(input));
  return listing;
}

owner_id listed_owners::owner_of(std::string_view name) {
  if (last_owner_ && names_[*last_owner_] == name) return *last_owner_;
  const auto found = owners_.find(name);
  if (found != owners_.end()) {
    last_owner_ = found->second;
  } else {
    last_owner_ = static_cast<owner_id>(names_.size());
    names_.emplace_back(name);
    owners_.emplace(name, *last_owner_);
  }
  return *last_owner_;
}

void listed_owners::add(const directory_node* directory, std::string_view owner, uint64_t bytes, int64_t files) {
  if (directory != last_directory_) {
    last_directory_ = directory;
    last_figures_ = &figures_[directory];
  }
  last_figures_->add(owner_of(owner), bytes, files);
}

void listed_owners::name_owners() { ledger_.name_listed_owners(std::move(names_)); }

void listed_owners::complete(const directory_node* node) {
  last_directory_ = nullptr;
  const auto found = figures_.find(node);
  if (found == figures_.end()) {
    ledger_.counted(node, owner_figures());
    return;
  }
  // The reference outlives the parent's entry being made; an iterator
  // would not.
  owner_figures& own = found->second;
  ledger_.counted(node, own);
  if (node->parent == nullptr) return;
  owner_figures& above = figures_[node->parent];
  if (node->currentsubdirs() > 0) {
    above.merge(own);
    return;
  }
  above.merge(std::move(own));
  figures_.erase(node);
}

void listed_owners::hand_over(const directory_node* root) {
  std::vector<const directory_node*> pending{root};
  while (!pending.empty()) {
    const directory_node* node = pending.back();
    pending.pop_back();
    if (const auto found = figures_.find(node); found != figures_.end()) ledger_.keep(node, std::move(found->second));
    for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
      if (node->subdirpointer[slot]->currentsubdirs() > 0) pending.push_back(node->subdirpointer[slot]);
    }
  }
  figures_ = {};
}

}  // namespace quern
