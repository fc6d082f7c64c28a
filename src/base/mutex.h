#pragma once

#include <condition_variable>
#include <mutex>

#include "base/thread_annotations.h"

namespace quern {

// A mutex the thread-safety analysis knows about.
class CAPABILITY("mutex") mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class condition_variable;
  std::mutex mutex_;
};

// Holds a mutex for the rest of its scope.
class SCOPED_CAPABILITY mutex_lock {
 public:
  explicit mutex_lock(mutex& held) ACQUIRE(held) : mutex_(held) { held.lock(); }
  ~mutex_lock() RELEASE() { mutex_.unlock(); }
  mutex_lock(const mutex_lock&) = delete;
  mutex_lock& operator=(const mutex_lock&) = delete;

 private:
  mutex& mutex_;
};

// Lets a held mutex go for the rest of its scope, around calls that may
// block, and takes it again when the scope ends, also when an exception
// leaves it.
class SCOPED_CAPABILITY mutex_unlock {
 public:
  explicit mutex_unlock(mutex& held) RELEASE(held) : mutex_(held) { held.unlock(); }
  // For the analysis, ending a scope that let the mutex go takes it again.
  ~mutex_unlock() RELEASE() { mutex_.lock(); }
  mutex_unlock(const mutex_unlock&) = delete;
  mutex_unlock& operator=(const mutex_unlock&) = delete;

 private:
  mutex& mutex_;
};

// Waits on a held mutex: it is let go while waiting and held again when the
// wait returns. A wait may also return without a notification, so each one
// sits in a loop that checks what it waits for.
class condition_variable {
 public:
  void wait(mutex& held) REQUIRES(held) {
    std::unique_lock<std::mutex> adopted(held.mutex_, std::adopt_lock);
    condition_.wait(adopted);
    adopted.release();
  }
  void notify_one() { condition_.notify_one(); }
  void notify_all() { condition_.notify_all(); }

 private:
  std::condition_variable condition_;
};

}  // namespace quern
