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
  // Started subdirectories that the walk has not entered yet, in order.
  task* first_started = nullptr;
  task* last_started = nullptr;
  task* next_started = nullptr;
  size_t charged = 0;  // counted in held_bytes_ until the walk enters it

  bool needs_handle() const { return handle_users > 0 || next_ordinal < contents.subdirectories; }
};

namespace {

bool out_of_descriptors(status result) { return result.error_number() == EMFILE || result.error_number() == ENFILE; }

}  // namespace

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
                       int descriptor_budget)
    : files_(files), root_path_(root_path), options_(options), budget_(descriptors(threads, descriptor_budget)) {
  for (int i = 0; i < threads; ++i) {
    try {
      workers_.emplace_back(&read_ahead::work, this);
    } catch (const std::system_error&) {
      break;  // fewer threads read ahead; the output is the same
    }
  }
}

read_ahead::~read_ahead() {
  {
    lock held(mutex_);
    stopping_ = true;
  }
  workers_wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  for (task* t : walk_stack_) delete t;
}

void read_ahead::work() {
  lock held(mutex_);
  for (;;) {
    if (stopping_) return;
    if (frontier_.empty() || held_bytes_ >= kReadAheadBytes) {
      ++idle_workers_;
      worker_idle_.notify_all();
      workers_wake_.wait(held);
      --idle_workers_;
      continue;
    }
    fetch(start_child(*frontier_.begin()), held, false);
  }
}

size_t read_ahead::held_bytes_when_idle() {
  lock held(mutex_);
  // Idle workers that have been woken but not yet run leave work undone.
  worker_idle_.wait(held, [this] {
    return idle_workers_ == workers_.size() && (frontier_.empty() || held_bytes_ >= kReadAheadBytes);
  });
  return held_bytes_;
}

read_ahead::task* read_ahead::start_child(task* parent) {
  frontier_.erase(parent);
  const directory_contents& contents = parent->contents;
  size_t index = parent->next_pending;
  while (!to_enter(contents, index)) ++index;
  task* t = new task;
  t->parent = parent;
  t->name = contents.names[index];
  t->ordinal = parent->next_ordinal++;
  t->depth = parent->depth + 1;
  parent->next_pending = index + 1;
  if (parent->next_ordinal < contents.subdirectories) frontier_.insert(parent);
  if (parent->last_started != nullptr) {
    parent->last_started->next_started = t;
  } else {
    parent->first_started = t;
  }
  parent->last_started = t;
  ++parent->handle_users;  // t is opened from it
  return t;
}

// Opens and reads the task's directory; called with the lock held, which is
// let go for the system calls. A worker that runs out of descriptors leaves
// the directory to the walk rather than report a failure that a walk on its
// own would not have met.
void read_ahead::fetch(task* t, lock& held, bool by_walk) {
  if (!by_walk) ++fetching_;
  std::unique_ptr<open_directory> handle;
  const status opened = open_directory_of(t, held, by_walk, handle);
  if (t->parent != nullptr) {
    --t->parent->handle_users;
    settle_handle(t->parent);
  }
  if (!by_walk && out_of_descriptors(opened)) {
    t->stage = task::state::abandoned;
  } else {
    if (opened.is_ok()) {
      held.unlock();
      if (t->parent == nullptr) note_root_file_system(*handle, options_);
      read_directory(*handle, options_, t->contents);
      held.lock();
    }
    finish(t, opened, std::move(handle), by_walk);
  }
  if (!by_walk) --fetching_;
  if (walk_waiting_) walk_wakes_.notify_one();
}

// Opens the task's directory within the budget, from its parent's
// descriptor (reached again first if it was given up) or, for the root, by
// its path. On success one descriptor of the budget goes with the result.
status read_ahead::open_directory_of(task* t, lock& held, bool by_walk, std::unique_ptr<open_directory>& result) {
  for (;;) {
    if (t->parent != nullptr) {
      const status reached = reach(t->parent, held, by_walk);
      if (!reached.is_ok()) return reached;
    }
    if (!reserve_descriptor(held, by_walk, t->parent)) return status::error(EMFILE);
    open_directory* from = t->parent != nullptr ? t->parent->handle.get() : nullptr;
    held.unlock();
    const status opened =
        from != nullptr ? from->open_subdirectory(t->name, result) : files_.open_directory_at_path(root_path_, result);
    held.lock();
    if (opened.is_ok()) return opened;
    --open_descriptors_;
    if (!out_of_descriptors(opened)) return opened;
    // The process or the system ran out of descriptors: live with fewer.
    budget_ = std::max(2, open_descriptors_);
    if (evict_one(t->parent)) continue;
    // What others hold comes back once they are done with it; only what the
    // walk holds itself makes this a failure a walk on its own would meet.
    if (!by_walk || fetching_ == 0) return opened;
    walk_waiting_ = true;
    walk_wakes_.wait(held);
    walk_waiting_ = false;
  }
}

// Makes sure the directory holds a descriptor, opening it again name by name
// from the nearest directory above it that still holds one.
status read_ahead::reach(task* d, lock& held, bool by_walk) {
  if (d->handle != nullptr) return status::ok();
  std::vector<task*> closed;
  for (task* up = d; up != nullptr && up->handle == nullptr; up = up->parent) closed.push_back(up);
  for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
    task* x = *it;
    if (x->parent != nullptr) ++x->parent->handle_users;
    std::unique_ptr<open_directory> handle;
    const status opened = open_directory_of(x, held, by_walk, handle);
    if (opened.is_ok()) {
      if (x->handle == nullptr) {
        x->handle = std::move(handle);
      } else {
        // Another thread reached it meanwhile.
        handle.reset();
        --open_descriptors_;
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

bool read_ahead::reserve_descriptor(lock& held, bool by_walk, const task* keep) {
  while (open_descriptors_ >= budget_) {
    if (evict_one(keep)) continue;
    if (!by_walk) return false;
    // Nobody else holds one to give back: the walk goes on beyond the
    // budget rather than wait for ever.
    if (fetching_ == 0) break;
    walk_waiting_ = true;
    walk_wakes_.wait(held);
    walk_waiting_ = false;
  }
  ++open_descriptors_;
  return true;
}

// Gives up the idle descriptor needed last: that of the directory whose
// next subdirectory comes latest in the walk's order.
bool read_ahead::evict_one(const task* keep) {
  for (auto it = frontier_.rbegin(); it != frontier_.rend(); ++it) {
    task* t = *it;
    if (t == keep || t->handle == nullptr || t->handle_users > 0) continue;
    t->handle.reset();
    --open_descriptors_;
    return true;
  }
  return false;
}

void read_ahead::settle_handle(task* t) {
  if (t->handle == nullptr || t->needs_handle()) return;
  t->handle.reset();
  --open_descriptors_;
  if (walk_waiting_) walk_wakes_.notify_one();
}

void read_ahead::finish(task* t, status opened, std::unique_ptr<open_directory> handle, bool by_walk) {
  t->opened = opened;
  if (opened.is_ok()) {
    if (t->contents.subdirectories > 0) {
      t->handle = std::move(handle);
      frontier_.insert(t);
      for (size_t n = std::min(t->contents.subdirectories, idle_workers_); n > 0; --n) workers_wake_.notify_one();
    } else {
      handle.reset();
      --open_descriptors_;
    }
  }
  // What the walk read itself it takes at once; the rest waits for it.
  if (!by_walk) {
    t->charged = sizeof(task) + t->contents.footprint();
    held_bytes_ += t->charged;
  }
  t->stage = task::state::done;
}

status read_ahead::enter(const char*, size_t, const directory_contents*& contents) {
  lock held(mutex_);
  task* t = nullptr;
  if (walk_stack_.empty()) {
    t = new task;
    fetch(t, held, true);
  } else {
    task* parent = walk_stack_.back();
    if (parent->first_started == nullptr) {
      t = start_child(parent);
      fetch(t, held, true);
    } else {
      t = parent->first_started;
    }
    parent->first_started = t->next_started;
    if (parent->first_started == nullptr) parent->last_started = nullptr;
    while (t->stage == task::state::running) {
      walk_waiting_ = true;
      walk_wakes_.wait(held);
      walk_waiting_ = false;
    }
    if (t->stage == task::state::abandoned) {
      t->stage = task::state::running;
      ++parent->handle_users;
      fetch(t, held, true);
    }
  }
  if (t->charged > 0) {
    const bool was_full = held_bytes_ >= kReadAheadBytes;
    held_bytes_ -= t->charged;
    t->charged = 0;
    if (was_full && held_bytes_ < kReadAheadBytes) workers_wake_.notify_all();
  }
  const status opened = t->opened;
  if (!opened.is_ok()) {
    delete t;
    return opened;
  }
  walk_stack_.push_back(t);
  contents = &t->contents;
  return opened;
}

void read_ahead::leave() {
  lock held(mutex_);
  task* t = walk_stack_.back();
  walk_stack_.pop_back();
  delete t;
}

}  // namespace quern
