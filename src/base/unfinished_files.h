#pragma once

#include "base/status.h"

namespace quern {

// Files of this run that are not complete yet. Should the run be ended from
// outside (a signal, exhausted memory), every one of them is removed first,
// so that no file is left cut short under any name, and none is made after:
// a half-written page or summary would pass for a whole one.
//
// A member of the object that writes the file; declared last, so that it
// leaves the list before anything it names is destroyed.
class unfinished_file {
 public:
  // Removes the file. Called with the list held, from any thread, while
  // its owner may be writing it: it must neither allocate nor wait.
  using remover = void (*)(const void* file) noexcept;

  unfinished_file(remover remove, const void* file) : remove_(remove), file_(file) {}
  ~unfinished_file() { finished(); }
  unfinished_file(const unfinished_file&) = delete;
  unfinished_file& operator=(const unfinished_file&) = delete;

  // Runs `create`, which makes the file, and lists the file if it was
  // made. Once the run is ending nothing more is made: the thread waits
  // for the end instead.
  status make(status (*create)(void* context), void* context);

  // The file is complete, or gone: it leaves the list.
  void finished();

 private:
  friend void remove_unfinished_files() noexcept;

  const remover remove_;
  const void* const file_;
  bool listed_ = false;
  unfinished_file* previous_ = nullptr;
  unfinished_file* next_ = nullptr;
};

// Removes every unfinished file and keeps the list held for good, so that
// no file is made or finished after it: for the end of the process only.
void remove_unfinished_files() noexcept;

}  // namespace quern
