#include "base/unfinished_files.h"

#include "base/mutex.h"

namespace quern {

namespace {

mutex g_list_mutex;
unfinished_file* g_first GUARDED_BY(g_list_mutex) = nullptr;

}  // namespace

status unfinished_file::make(status (*create)(void* context), void* context) {
  const mutex_lock held(g_list_mutex);
  const status made = create(context);
  if (!made.is_ok()) return made;
  listed_ = true;
  next_ = g_first;
  if (g_first != nullptr) g_first->previous_ = this;
  g_first = this;
  return made;
}

void unfinished_file::finished() {
  const mutex_lock held(g_list_mutex);
  if (!listed_) return;
  listed_ = false;
  if (previous_ != nullptr) previous_->next_ = next_;
  if (next_ != nullptr) next_->previous_ = previous_;
  if (g_first == this) g_first = next_;
  previous_ = next_ = nullptr;
}

// Never lets the list go: whoever makes or finishes a file next waits for
// the end of the process.
void remove_unfinished_files() noexcept NO_THREAD_SAFETY_ANALYSIS {
  g_list_mutex.lock();
  for (const unfinished_file* file = g_first; file != nullptr; file = file->next_) file->remove_(file->file_);
}

}  // namespace quern
