#include "tree/listing_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

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

bool listing_source::has(listing_field field) const {
  return fields && std::find(fields->begin(), fields->end(), field) != fields->end();
}

std::optional<std::vector<listing_field>> parse_listing_fields(std::string_view text) {
  static constexpr std::pair<std::string_view, listing_field> kNames[] = {{"type", listing_field::type},
                                                                          {"size", listing_field::size},
                                                                          {"time", listing_field::time},
                                                                          {"blocks", listing_field::blocks},
                                                                          {"owner", listing_field::owner}};
  std::vector<listing_field> fields;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find(',', start), text.size());
    const std::string_view name = text.substr(start, end - start);
    const auto known =
        std::find_if(std::begin(kNames), std::end(kNames), [name](const auto& entry) { return entry.first == name; });
    if (known == std::end(kNames)) return std::nullopt;
    if (std::find(fields.begin(), fields.end(), known->second) != fields.end()) return std::nullopt;
    if (!fields.empty() && fields.back() == listing_field::owner) return std::nullopt;
    fields.push_back(known->second);
    start = end + 1;
  }
  const auto lacks = [&fields](listing_field field) {
    return std::find(fields.begin(), fields.end(), field) == fields.end();
  };
  if (lacks(listing_field::type) || lacks(listing_field::size)) return std::nullopt;
  return fields;
}

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
  if (source.fields)
    listing.owner_field = source.has(listing_field::owner);
  else if (end != std::string::npos && end < longest_record)
    listing.owner_field = names_owner(std::string_view(head).substr(0, end), without_trailing_slashes(root_path));
  listing.ended_before_record = end == std::string::npos && ended;
  if (end == std::string::npos) listing.first_read = failure;
  listing.input = std::make_unique<replayed_input>(std::move(head), failure, ended, std::move(input));
  return listing;
}

}  // namespace quern
