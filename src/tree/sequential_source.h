#pragma once

#include <deque>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "tree/descriptor_budget.h"
#include "tree/directory_source.h"

namespace quern {

// Reads each directory when the walk enters it, on the walk's own thread.
// Entries are stat'ed as soon as their directory is listed, so a
// directory's descriptor is given up once its last subdirectory has been
// opened, and at most `asked_descriptors` are held at once whatever the
// depth: a level whose descriptor was given up is reached again name by
// name from the nearest one still open.
class sequential_source final : public directory_source {
 public:
  sequential_source(file_system& files, const std::string& root_path, const read_options& options,
                    int asked_descriptors);
  // The most descriptors held at once.
  static int descriptors(int asked_descriptors) { return descriptor_budget::limit_for(asked_descriptors); }
  status enter(const char* name, size_t ordinal, const directory_contents*& contents) override;
  void leave() override;

 private:
  struct held_directory {
    const char* name = nullptr;              // null for the root
    std::unique_ptr<open_directory> handle;  // null when given up
    directory_contents contents;
    size_t unopened_subdirectories = 0;
  };

  void hold(held_directory& l, std::unique_ptr<open_directory> handle);
  void release(held_directory& l);
  status reacquire(size_t index);
  status open_with_budget(held_directory* from, const char* name, std::unique_ptr<open_directory>& result);
  bool evict_shallowest(const held_directory* keep);

  file_system& files_;
  std::string root_path_;
  read_options options_;  // the root's file system is filled in once it is open
  descriptor_budget descriptors_;
  // A deque, so that the contents handed to the walk never move; levels are
  // reused as the walk goes up and down, keeping their buffers' capacity.
  std::deque<held_directory> levels_;
  size_t depth_ = 0;
};

}  // namespace quern
