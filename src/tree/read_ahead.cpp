#include "tree/read_ahead.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace quern {

struct read_ahead::task {
  task* parent = nullptr;
  const char* name = nullptr;  // in the parent's contents; null for the root
  size_t ordinal = 0;          // among the parent's subdirectories
  size_t depth = 0;
  enum class state : uint8_t { running, done, abandoned } stage = state::running;
  status opened;
  directory_contents contents;
  // Held while subdirectories remain to be opened from it.
  std::unique_ptr<open_directory> handle;
  int handle_users = 0;
  size_t next_ordinal = 0;  // subdirectories started so far
  size_t next_pending = 0;  // where the search for the next one resumes
  // Started subdirectories that the walk has not entered yet, in order,
  // each owning the next.
  std::unique_ptr<task> first_started;
  task* last_started = nullptr;
  std::unique_ptr<task> next_started;
  size_t charged = 0;  // counted in the hand-over until the walk enters it

  // One by one: freeing a long chain of siblings from its head would take
  // as deep a recursion.
  ~task() {
    while (first_started != nullptr) first_started = std::move(first_started->next_started);
  }

  bool needs_handle() const { return handle_users > 0 || next_ordinal < contents.subdirectories; }
};

// Compares the positions that the next subdirectories of two directories
// take in the walk's depth-first order, by climbing to where their paths
// part.
bool read_ahead::next_child_order::operator()(const task* a, const task* b) const {
  if (a == b) return false;
  size_t i = a->next_ordinal;
  size_t j = b->next_ordinal;
  const bool b_deeper = b->depth > a->depth;
  while (a->depth > b->depth) {
    i = a->ordinal;
    a = a->parent;
  }
  while (b->depth > a->depth) {
    j = b->ordinal;
    b = b->parent;
  }
  while (a != b) {
    i = a->ordinal;
    a = a->parent;
    j = b->ordinal;
    b = b->parent;
  }
  return i != j ? i < j : b_deeper;
}

read_ahead::read_ahead(file_system& files, const std::string& root_path, const read_options& options, int threads,
                       int asked_descriptors)
    : files_(files), root_path_(root_path), options_(options), descriptors_(descriptors(threads, asked_descriptors)) {
  for (int i = 0; i < threads; ++i) {
    try {
      workers_.emplace_back(&read_ahead::work, this);
    } catch (const std::system_error&) {
      break;  // fewer threads read ahead; the output is the same
    }
  }
}

read_ahead::~read_ahead() {
  handover_.stop();
  for (std::thread& worker : workers_) worker.join();
}

void read_ahead::work() {
  const mutex_lock held(handover_.guard());
  while (!handover_.stopping()) {
    if (frontier_.empty() || handover_.full()) {
      handover_.wait_for_work();
      continue;
    }
    fetch(start_child(*frontier_.begin()), false);
  }
}

size_t read_ahead::held_bytes_when_idle() {
  const mutex_lock held(handover_.guard());
  // Idle workers that have been woken but not yet run leave work undone.
  while (handover_.idle_workers() != workers_.size() || !(frontier_.empty() || handover_.full()))
    handover_.wait_for_idle_worker();
  return handover_.held_bytes();
}

read_ahead::task* read_ahead::start_child(task* parent) {
  frontier_.erase(parent);
  const directory_contents& contents = parent->contents;
  size_t index = parent->next_pending;
  while (!to_enter(contents, index)) ++index;
  auto started = std::make_unique<task>();
  task* t = started.get();
  t->parent = parent;
  t->name = contents.names[index];
  t->ordinal = parent->next_ordinal++;
  t->depth = parent->depth + 1;
  parent->next_pending = index + 1;
  if (parent->next_ordinal < contents.subdirectories) frontier_.insert(parent);
  if (parent->last_started != nullptr) {
    parent->last_started->next_started = std::move(started);
  } else {
    parent->first_started = std::move(started);
  }
  parent->last_started = t;
  ++parent->handle_users;  // t is opened from it
  return t;
}

// Opens and reads the task's directory, letting the lock go for the system
// calls. A worker that runs out of descriptors leaves the directory to the
// walk rather than report a failure that a walk on its own would not have
// met.
void read_ahead::fetch(task* t, bool by_walk) {
  if (!by_walk) ++fetching_;
  std::unique_ptr<open_directory> handle;
  const status opened = open_directory_of(t, by_walk, handle);
  if (t->parent != nullptr) {
    --t->parent->handle_users;
    settle_handle(t->parent);
  }
  if (!by_walk && opened.out_of_descriptors()) {
    t->stage = task::state::abandoned;
  } else {
    if (opened.is_ok()) {
      const mutex_unlock unlocked(handover_.guard());
      if (t->parent == nullptr) note_root_file_system(*handle, options_);
      read_directory(*handle, options_, t->contents);
    }
    finish(t, opened, std::move(handle), by_walk);
  }
  if (!by_walk) --fetching_;
  handover_.wake_walk();
}

// Opens the task's directory within the budget, from its parent's
// descriptor (reached again first if it was given up) or, for the root, by
// its path. On success one descriptor of the budget goes with the result.
status read_ahead::open_directory_of(task* t, bool by_walk, std::unique_ptr<open_directory>& result) {
  for (;;) {
    if (t->parent != nullptr) {
      const status reached = reach(t->parent, by_walk);
      if (!reached.is_ok()) return reached;
    }
    if (!reserve_descriptor(by_walk, t->parent)) return status::error(EMFILE);
    open_directory* from = t->parent != nullptr ? t->parent->handle.get() : nullptr;
    const uint64_t given_back_before = descriptors_.given_back();
    status opened;
    {
      const mutex_unlock unlocked(handover_.guard());
      opened = from != nullptr ? from->open_subdirectory(t->name, result)
                               : files_.open_directory_at_path(root_path_, result);
    }
    if (opened.is_ok()) return opened;
    descriptors_.untake();
    if (!opened.out_of_descriptors()) return opened;
    // A descriptor given back while this one was being opened makes room
    // for it, whoever holds the others.
    if (descriptors_.given_back() != given_back_before) continue;
    // The process or the system ran out of descriptors: live with fewer.
    descriptors_.live_with_those_held();
    if (evict_one(t->parent)) continue;
    // What others hold comes back once they are done with it; only what the
    // walk holds itself makes this a failure a walk on its own would meet.
    if (!by_walk || fetching_ == 0) return opened;
    handover_.wait_for_workers();
  }
}

// Makes sure the directory holds a descriptor, opening it again name by name
// from the nearest directory above it that still holds one.
status read_ahead::reach(task* d, bool by_walk) {
  if (d->handle != nullptr) return status::ok();
  std::vector<task*> closed;
  for (task* up = d; up != nullptr && up->handle == nullptr; up = up->parent) closed.push_back(up);
  for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
    task* x = *it;
    if (x->parent != nullptr) ++x->parent->handle_users;
    std::unique_ptr<open_directory> handle;
    const status opened = open_directory_of(x, by_walk, handle);
    if (opened.is_ok()) {
      if (x->handle == nullptr) {
        x->handle = std::move(handle);
      } else {
        // Another thread reached it meanwhile.
        close_handle(handle);
      }
    }
    if (x->parent != nullptr) {
      --x->parent->handle_users;
      settle_handle(x->parent);
    }
    if (!opened.is_ok()) return opened;
  }
  return status::ok();
}

bool read_ahead::reserve_descriptor(bool by_walk, const task* keep) {
  while (descriptors_.exhausted()) {
    if (evict_one(keep)) continue;
    if (!by_walk) return false;
    // Nobody else holds one to give back: the walk goes on beyond the
    // budget rather than wait for ever.
    if (fetching_ == 0) break;
    handover_.wait_for_workers();
  }
  descriptors_.take();
  return true;
}

// Gives up the idle descriptor needed last: that of the directory whose
// next subdirectory comes latest in the walk's order.
bool read_ahead::evict_one(const task* keep) {
  for (auto it = frontier_.rbegin(); it != frontier_.rend(); ++it) {
    task* t = *it;
    if (t == keep || t->handle == nullptr || t->handle_users > 0) continue;
    close_handle(t->handle);
    return true;
  }
  return false;
}

void read_ahead::settle_handle(task* t) {
  if (t->handle == nullptr || t->needs_handle()) return;
  close_handle(t->handle);
  handover_.wake_walk();
}

void read_ahead::close_handle(std::unique_ptr<open_directory>& handle) {
  handle.reset();
  descriptors_.give_back();
}

void read_ahead::finish(task* t, status opened, std::unique_ptr<open_directory> handle, bool by_walk) {
  t->opened = opened;
  if (opened.is_ok()) {
    if (t->contents.subdirectories > 0) {
      t->handle = std::move(handle);
      frontier_.insert(t);
      handover_.wake_workers(std::min(t->contents.subdirectories, handover_.idle_workers()));
    } else {
      close_handle(handle);
    }
  }
  // What the walk read itself it takes at once; the rest waits for it.
  if (!by_walk) {
    t->charged = sizeof(task) + t->contents.footprint();
    handover_.hand_over(t->charged);
  }
  t->stage = task::state::done;
}

status read_ahead::enter(const char*, size_t, const directory_contents*& contents) {
  const mutex_lock held(handover_.guard());
  std::unique_ptr<task> t;
  if (walk_stack_.empty()) {
    t = std::make_unique<task>();
    fetch(t.get(), true);
  } else {
    task* parent = walk_stack_.back().get();
    if (parent->first_started == nullptr) fetch(start_child(parent), true);
    t = std::move(parent->first_started);
    parent->first_started = std::move(t->next_started);
    if (parent->first_started == nullptr) parent->last_started = nullptr;
    while (t->stage == task::state::running) handover_.wait_for_workers();
    if (t->stage == task::state::abandoned) {
      t->stage = task::state::running;
      ++parent->handle_users;
      fetch(t.get(), true);
    }
  }
  if (t->charged > 0) handover_.take(t->charged);
  const status opened = t->opened;
  if (!opened.is_ok()) return opened;
  contents = &t->contents;
  walk_stack_.push_back(std::move(t));
  return opened;
}

void read_ahead::leave() {
  const mutex_lock held(handover_.guard());
  walk_stack_.pop_back();
}

}  // namespace quern
