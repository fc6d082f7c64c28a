#pragma once

#include <cstddef>

#include "base/mutex.h"
#include "base/thread_annotations.h"

namespace quern {

// Worker threads hand over what they make to one thread, the walk, which
// takes it in an order of its own. Workers start nothing new while what
// they have handed over and the walk has not yet taken holds `bound` bytes
// or more, and are woken when it drops below; the walk waits for what it
// needs next and is woken whenever a worker has made progress.
//
// Its mutex also guards everything the workers and the walk share beyond
// it.
class bounded_handover {
 public:
  explicit bounded_handover(size_t bound) : bound_(bound) {}
  bounded_handover(const bounded_handover&) = delete;
  bounded_handover& operator=(const bounded_handover&) = delete;

  mutex& guard() RETURN_CAPABILITY(mutex_) { return mutex_; }

  // Wakes every worker to stop; they look at stopping() before taking work.
  void stop() EXCLUDES(mutex_) {
    {
      const mutex_lock held(mutex_);
      stopping_ = true;
    }
    workers_wake_.notify_all();
  }
  bool stopping() const REQUIRES(mutex_) { return stopping_; }

  // On a worker's side.
  bool full() const REQUIRES(mutex_) { return held_bytes_ >= bound_; }
  // Waits, idle, for work, for room or for the stop.
  void wait_for_work() REQUIRES(mutex_) {
    ++idle_workers_;
    worker_idle_.notify_all();
    workers_wake_.wait(mutex_);
    --idle_workers_;
  }
  size_t idle_workers() const REQUIRES(mutex_) { return idle_workers_; }
  // Needs no lock: whoever has just made work or room wakes some workers.
  void wake_workers(size_t count) {
    for (; count > 0; --count) workers_wake_.notify_one();
  }
  void hand_over(size_t bytes) REQUIRES(mutex_) { held_bytes_ += bytes; }
  void wake_walk() REQUIRES(mutex_) {
    if (walk_waiting_) walk_wakes_.notify_one();
  }

  // On the walk's side.
  void wait_for_workers() REQUIRES(mutex_) {
    walk_waiting_ = true;
    walk_wakes_.wait(mutex_);
    walk_waiting_ = false;
  }
  // What was handed over has been taken; dropping below the bound wakes
  // every worker.
  void take(size_t bytes) REQUIRES(mutex_) {
    const bool was_full = full();
    held_bytes_ -= bytes;
    if (was_full && !full()) workers_wake_.notify_all();
  }
  size_t held_bytes() const REQUIRES(mutex_) { return held_bytes_; }
  // Waits for a worker to go idle.
  void wait_for_idle_worker() REQUIRES(mutex_) { worker_idle_.wait(mutex_); }

 private:
  mutex mutex_;
  condition_variable workers_wake_;
  condition_variable walk_wakes_;
  condition_variable worker_idle_;
  const size_t bound_;
  size_t held_bytes_ GUARDED_BY(mutex_) = 0;
  size_t idle_workers_ GUARDED_BY(mutex_) = 0;
  bool walk_waiting_ GUARDED_BY(mutex_) = false;
  bool stopping_ GUARDED_BY(mutex_) = false;
};

}  // namespace quern
