#include "report/concurrent_pages.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "report/directory_pages.h"

namespace quern {

namespace {

using lock = std::unique_lock<std::mutex>;

// What the writers may hold for the walk before it commits it.
constexpr size_t kHeldBytes = 8 << 20;

bool out_of_descriptors(status result) {
  return result.error_number() == EMFILE || result.error_number() == ENFILE;
}

// Output files of several writers: when the process runs out of
// descriptors, a writer waits for another one's file to close instead of
// failing, so that no shortage is reported that one writer alone would not
// have met.
class shared_descriptors final : public file_system {
 public:
  explicit shared_descriptors(file_system& files) : files_(files) {}

  status open_directory_at_path(const std::string& path, std::unique_ptr<open_directory>& result) override {
    return files_.open_directory_at_path(path, result);
  }
  status make_directory(const std::string& path) override { return files_.make_directory(path); }
  status remove_file(const std::string& path) override { return files_.remove_file(path); }
  status open_input_file(const std::string& path, std::unique_ptr<input_file>& result) override {
    return files_.open_input_file(path, result);
  }
  std::unique_ptr<input_file> standard_input() override { return files_.standard_input(); }

  status create_file(const std::string& path, std::unique_ptr<output_file>& result) override {
    lock held(mutex_);
    for (;;) {
      ++open_;
      held.unlock();
      std::unique_ptr<output_file> file;
      const status created = files_.create_file(path, file);
      held.lock();
      if (created.is_ok()) {
        result = std::make_unique<counted_file>(*this, std::move(file));
        return created;
      }
      --open_;
      if (!out_of_descriptors(created) || open_ == 0) return created;
      const size_t closed_before = closed_;
      file_closed_.wait(held, [&] { return closed_ != closed_before || open_ == 0; });
    }
  }

 private:
  class counted_file final : public output_file {
   public:
    counted_file(shared_descriptors& owner, std::unique_ptr<output_file> file)
        : owner_(owner), file_(std::move(file)) {}
    ~counted_file() override {
      if (file_ != nullptr) {
        file_.reset();
        owner_.closed();
      }
    }
    status write(std::string_view bytes) override { return file_->write(bytes); }
    status close() override {
      const status result = file_->close();
      file_.reset();
      owner_.closed();
      return result;
    }

   private:
    shared_descriptors& owner_;
    std::unique_ptr<output_file> file_;
  };

  void closed() {
    {
      const std::lock_guard held(mutex_);
      --open_;
      ++closed_;
    }
    file_closed_.notify_all();
  }

  file_system& files_;
  std::mutex mutex_;
  std::condition_variable file_closed_;
  size_t open_ = 0;
  size_t closed_ = 0;
};

// The pages of one directory, and what was said while writing them.
struct job {
  explicit job(directory_node* directory) : node(directory) {}
  directory_node* node;
  enum class state : uint8_t { ready, running, done, committed } stage = state::ready;
  bool queued = false;  // still listed among the ready jobs
  std::string said;
  int64_t failures = 0;
  int pages = 0;
  size_t charged = 0;
};

bool has_pages(const directory_node* node) { return node->parent == nullptr || node->currentsubdirs() > 0; }

}  // namespace

// Writers take ready jobs in the order they came; the walk commits finished
// jobs in its own order and takes up any job that it needs and nobody has
// started.
struct page_crew::crew {
  explicit crew(const report_context& run) : context(run), files(run.files) {}

  void work() {
    page_workspace workspace;
    lock held(mutex);
    for (;;) {
      if (stopping) return;
      job* next = nullptr;
      while (next == nullptr && !ready.empty() && held_bytes < kHeldBytes) {
        job* first = ready.front();
        ready.pop_front();
        first->queued = false;
        if (first->stage == job::state::ready) {
          next = first;
        } else if (first->stage == job::state::committed) {
          delete first;
        }
      }
      if (next == nullptr) {
        ++idle_writers;
        wake_writers.wait(held);
        --idle_writers;
        continue;
      }
      run(next, held, workspace);
    }
  }

  void run(job* j, lock& held, page_workspace& workspace) {
    j->stage = job::state::running;
    held.unlock();
    diagnostics said(context.diag.level(), -1);
    j->pages = output_html_directory({context.options, said, files}, j->node, workspace);
    j->said = said.collected();
    j->failures = said.failures();
    held.lock();
    j->stage = job::state::done;
    j->charged = sizeof(job) + j->said.capacity();
    held_bytes += j->charged;
    if (walk_waiting) walk_wakes.notify_one();
  }

  const report_context& context;
  shared_descriptors files;
  std::mutex mutex;
  std::condition_variable wake_writers;
  std::condition_variable walk_wakes;
  bool walk_waiting = false;
  bool stopping = false;
  size_t idle_writers = 0;
  size_t held_bytes = 0;
  std::deque<job*> ready;
  std::vector<job*> by_node;  // by node identifier
  std::vector<std::thread> writers;
};

page_crew::page_crew(const report_context& context, int threads) : crew_(std::make_unique<crew>(context)) {
  grow(threads);
}

page_crew::~page_crew() {
  {
    const std::lock_guard held(crew_->mutex);
    crew_->stopping = true;
  }
  crew_->wake_writers.notify_all();
  for (std::thread& writer : crew_->writers) writer.join();
  // Jobs still listed are freed with the list; any others were never committed.
  for (job* j : crew_->by_node) {
    if (j != nullptr && !j->queued) delete j;
  }
  for (job* j : crew_->ready) delete j;
}

size_t page_crew::writers() const { return crew_->writers.size(); }

void page_crew::grow(int threads) {
  while (crew_->writers.size() < static_cast<size_t>(threads)) {
    try {
      crew_->writers.emplace_back(&crew::work, crew_.get());
    } catch (const std::system_error&) {
      return;  // fewer writers; the pages are the same
    }
  }
}

void page_crew::submit(directory_node* node) {
  if (!has_pages(node)) return;
  job* j = new job(node);
  {
    const std::lock_guard held(crew_->mutex);
    if (crew_->by_node.size() <= node->id) crew_->by_node.resize(node->id + 1);
    crew_->by_node[node->id] = j;
    j->queued = true;
    crew_->ready.push_back(j);
  }
  crew_->wake_writers.notify_one();
}

void page_crew::submit_tree(directory_node* root) {
  // All are found, depth first, before any is submitted: a writer sorts the
  // children of the directory it has taken.
  std::vector<directory_node*> found;
  std::vector<directory_node*> pending{root};
  while (!pending.empty()) {
    directory_node* node = pending.back();
    pending.pop_back();
    found.push_back(node);
    for (int64_t slot = node->currentsubdirs(); slot-- > 0;) {
      if (node->subdirpointer[slot]->currentsubdirs() > 0) pending.push_back(node->subdirpointer[slot]);
    }
  }
  for (directory_node* node : found) submit(node);
}

void page_crew::commit(directory_node* root) {
  page_workspace workspace;
  std::vector<directory_node*> walk{root};
  lock held(crew_->mutex);
  while (!walk.empty()) {
    directory_node* node = walk.back();
    walk.pop_back();
    job* j = node->id < crew_->by_node.size() ? crew_->by_node[node->id] : nullptr;
    if (j != nullptr) {
      crew_->by_node[node->id] = nullptr;
    } else {
      j = new job(node);  // never submitted: a root that could not be opened
    }
    if (j->stage == job::state::ready) crew_->run(j, held, workspace);
    while (j->stage != job::state::done) {
      crew_->walk_waiting = true;
      crew_->walk_wakes.wait(held);
      crew_->walk_waiting = false;
    }
    const bool was_full = crew_->held_bytes >= kHeldBytes;
    crew_->held_bytes -= j->charged;
    if (was_full && crew_->held_bytes < kHeldBytes) crew_->wake_writers.notify_all();
    held.unlock();
    crew_->context.diag.absorb(j->said, j->failures);
    crew_->context.diag.progress().pages_written(j->pages);
    // The pages left the subdirectories in the order the walk goes on in.
    for (int64_t slot = node->currentsubdirs(); slot-- > 0;) {
      if (node->subdirpointer[slot]->currentsubdirs() > 0) walk.push_back(node->subdirpointer[slot]);
    }
    held.lock();
    if (j->queued) {
      j->stage = job::state::committed;  // a writer drops it when it comes across it
    } else {
      delete j;
    }
  }
}

}  // namespace quern
