#include "tree/sequential_source.h"

namespace quern {

sequential_source::sequential_source(file_system& files, const std::string& root_path, const read_options& options,
                                     int asked_descriptors)
    : files_(files), root_path_(root_path), options_(options), descriptors_(asked_descriptors) {}

status sequential_source::enter(const char* name, size_t, const directory_contents*& contents) {
  std::unique_ptr<open_directory> handle;
  status opened;
  if (depth_ == 0) {
    opened = open_with_budget(nullptr, nullptr, handle);
  } else {
    --levels_[depth_ - 1].unopened_subdirectories;
    if (levels_[depth_ - 1].handle == nullptr) opened = reacquire(depth_ - 1);
    if (opened.is_ok()) opened = open_with_budget(&levels_[depth_ - 1], name, handle);
  }
  if (opened.is_ok()) {
    if (levels_.size() == depth_) levels_.emplace_back();
    held_directory& entered = levels_[depth_++];
    entered.name = name;
    hold(entered, std::move(handle));
    if (depth_ == 1) note_root_file_system(*entered.handle, options_);
    read_directory(*entered.handle, options_, entered.contents);
    entered.unopened_subdirectories = entered.contents.subdirectories;
    if (entered.unopened_subdirectories == 0) release(entered);
    contents = &entered.contents;
  }
  // The parent's descriptor is given up as soon as no subdirectory of it
  // remains to be opened.
  const size_t parent = opened.is_ok() ? depth_ - 1 : depth_;
  if (parent > 0 && levels_[parent - 1].unopened_subdirectories == 0) release(levels_[parent - 1]);
  return opened;
}

void sequential_source::leave() {
  release(levels_[depth_ - 1]);
  --depth_;
}

void sequential_source::hold(held_directory& l, std::unique_ptr<open_directory> handle) {
  l.handle = std::move(handle);
  descriptors_.take();
}

void sequential_source::release(held_directory& l) {
  if (l.handle == nullptr) return;
  l.handle.reset();
  descriptors_.give_back();
}

// Opens a level's directory again, from the nearest level above it that is
// still open, one name at a time, so no path longer than one name is used.
status sequential_source::reacquire(size_t index) {
  size_t anchor = index;
  while (anchor > 0 && levels_[anchor - 1].handle == nullptr) --anchor;
  // Levels anchor .. index are closed; anchor - 1 is open, or anchor is the root.
  for (size_t i = anchor; i <= index; ++i) {
    std::unique_ptr<open_directory> handle;
    const status opened = i == 0 ? open_with_budget(nullptr, nullptr, handle)
                                 : open_with_budget(&levels_[i - 1], levels_[i].name, handle);
    if (i > 0 && levels_[i - 1].unopened_subdirectories == 0 && i - 1 < index) release(levels_[i - 1]);
    if (!opened.is_ok()) return opened;
    hold(levels_[i], std::move(handle));
  }
  return status::ok();
}

// Opens a subdirectory of `from` (the root when null) within the budget of
// descriptors, giving up the shallowest held ones first: they are needed
// again last.
status sequential_source::open_with_budget(held_directory* from, const char* name,
                                           std::unique_ptr<open_directory>& result) {
  for (;;) {
    while (descriptors_.exhausted() && evict_shallowest(from)) {
    }
    const status opened = from == nullptr ? files_.open_directory_at_path(root_path_, result)
                                          : from->handle->open_subdirectory(name, result);
    if (opened.is_ok() || !opened.out_of_descriptors()) return opened;
    // The process or system ran out of descriptors: live with fewer, those
    // held once one is given up and the one this open needs.
    if (!evict_shallowest(from)) return opened;
    descriptors_.live_with_those_held(1);
  }
}

bool sequential_source::evict_shallowest(const held_directory* keep) {
  for (size_t i = 0; i < depth_; ++i) {
    if (levels_[i].handle != nullptr && &levels_[i] != keep) {
      release(levels_[i]);
      return true;
    }
  }
  return false;
}

}  // namespace quern
