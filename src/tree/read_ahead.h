#pragma once

#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/bounded_handover.h"
#include "base/thread_annotations.h"
#include "platform/file_system.h"
#include "tree/descriptor_budget.h"
#include "tree/directory_source.h"

namespace quern {

// Worker threads open, list and stat directories ahead of the walk, always
// the ones the walk will enter soonest, and the walk takes their contents
// in its own order. The workers never speak and never decide an order: a
// directory read ahead is reported exactly as if the walk had read it when
// it got there.
//
// Bounded: workers start no directory while those read ahead but not yet
// entered hold kReadAheadBytes or more; beyond that each worker holds the
// directory it is reading (only its pending entries and one batch of
// names). Descriptors stay within the budget: a directory keeps its own
// only while subdirectories of it remain to be opened, the least urgent are
// given up first, and a directory is reached again name by name.
class read_ahead final : public directory_source {
 public:
  static constexpr size_t kReadAheadBytes = 8 << 20;

  read_ahead(file_system& files, const std::string& root_path, const read_options& options, int threads,
             int asked_descriptors);
  // The most descriptors held at once: each worker may hold a parent's
  // descriptor and the one it opens.
  static int descriptors(int threads, int asked_descriptors) {
    return asked_descriptors > 2 * threads + 2 ? asked_descriptors : 2 * threads + 2;
  }
  ~read_ahead() override;
  read_ahead(const read_ahead&) = delete;
  read_ahead& operator=(const read_ahead&) = delete;

  // The threads that could be started; there may be fewer than asked for.
  size_t workers() const { return workers_.size(); }

  status enter(const char* name, size_t ordinal, const directory_contents*& contents) override
      EXCLUDES(handover_.guard());
  void leave() override EXCLUDES(handover_.guard());

  // Waits until every worker has stopped for want of work or room, then
  // tells how many bytes are read ahead: for tests of the bound.
  size_t held_bytes_when_idle() EXCLUDES(handover_.guard());

 private:
  struct task;
  // Orders directories by where the next subdirectory to start stands in
  // the walk's order.
  struct next_child_order {
    bool operator()(const task* a, const task* b) const;
  };

  void work() EXCLUDES(handover_.guard());
  task* start_child(task* parent) REQUIRES(handover_.guard());
  void fetch(task* t, bool by_walk) REQUIRES(handover_.guard());
  status open_directory_of(task* t, bool by_walk, std::unique_ptr<open_directory>& result) REQUIRES(handover_.guard());
  status reach(task* t, bool by_walk) REQUIRES(handover_.guard());
  bool reserve_descriptor(bool by_walk, const task* keep) REQUIRES(handover_.guard());
  bool evict_one(const task* keep) REQUIRES(handover_.guard());
  void settle_handle(task* t) REQUIRES(handover_.guard());
  void finish(task* t, status opened, std::unique_ptr<open_directory> handle, bool by_walk) REQUIRES(handover_.guard());
  void close_handle(std::unique_ptr<open_directory>& handle) REQUIRES(handover_.guard());

  file_system& files_;
  const std::string root_path_;
  read_options options_;  // the root's file system is filled in once it is open

  // Its mutex guards the tasks too, except the contents of one being read,
  // which are the reading thread's alone.
  bounded_handover handover_{kReadAheadBytes};
  size_t fetching_ GUARDED_BY(handover_.guard()) = 0;  // workers between starting a directory and finishing it
  // Held by directories, and being opened.
  descriptor_budget descriptors_ GUARDED_BY(handover_.guard());
  // Directories with subdirectories not yet started.
  std::set<task*, next_child_order> frontier_ GUARDED_BY(handover_.guard());
  std::vector<std::unique_ptr<task>> walk_stack_ GUARDED_BY(handover_.guard());
  std::vector<std::thread> workers_;
};

}  // namespace quern
