#include "report/concurrent_pages.h"

#include <cerrno>
#include <condition_variable>
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
  // The subdirectories that have pages, in the order the pages left them.
  std::vector<job*> children;
  size_t charged = 0;
};

// Writers take ready jobs, newest first, so that they stay close to the
// walk's depth-first order; the walk commits finished jobs in that order
// and takes up any job that it needs and nobody has started.
class page_crew {
 public:
  page_crew(const report_context& context, int threads) : context_(context), files_(context.files) {
    for (int i = 0; i < threads; ++i) {
      try {
        writers_.emplace_back(&page_crew::work, this);
      } catch (const std::system_error&) {
        break;
      }
    }
  }

  ~page_crew() {
    {
      const std::lock_guard held(mutex_);
      stopping_ = true;
    }
    wake_writers_.notify_all();
    for (std::thread& writer : writers_) writer.join();
    for (job* j : ready_) delete j;  // all committed by now
  }

  size_t writers() const { return writers_.size(); }

  void run(directory_node* root) {
    page_workspace workspace;
    std::vector<job*> walk{new job(root)};
    lock held(mutex_);
    while (!walk.empty()) {
      job* j = walk.back();
      walk.pop_back();
      if (j->stage == job::state::ready) run_job(j, held, workspace);
      while (j->stage != job::state::done) {
        walk_waiting_ = true;
        walk_wakes_.wait(held);
        walk_waiting_ = false;
      }
      const bool was_full = held_bytes_ >= kHeldBytes;
      held_bytes_ -= j->charged;
      if (was_full && held_bytes_ < kHeldBytes) wake_writers_.notify_all();
      held.unlock();
      context_.diag.absorb(j->said, j->failures);
      context_.diag.progress().pages_written(j->pages);
      held.lock();
      for (auto child = j->children.rbegin(); child != j->children.rend(); ++child) walk.push_back(*child);
      if (j->queued) {
        j->stage = job::state::committed;  // a writer drops it when it comes across it
      } else {
        delete j;
      }
    }
  }

 private:
  void work() {
    page_workspace workspace;
    lock held(mutex_);
    for (;;) {
      if (stopping_) return;
      job* next = nullptr;
      while (next == nullptr && !ready_.empty() && held_bytes_ < kHeldBytes) {
        job* top = ready_.back();
        ready_.pop_back();
        top->queued = false;
        if (top->stage == job::state::ready) {
          next = top;
        } else if (top->stage == job::state::committed) {
          delete top;
        }
      }
      if (next == nullptr) {
        ++idle_writers_;
        wake_writers_.wait(held);
        --idle_writers_;
        continue;
      }
      run_job(next, held, workspace);
    }
  }

  void run_job(job* j, lock& held, page_workspace& workspace) {
    j->stage = job::state::running;
    held.unlock();
    diagnostics said(context_.diag.level(), -1);
    j->pages = output_html_directory({context_.options, said, files_}, j->node, workspace);
    j->said = said.collected();
    j->failures = said.failures();
    const directory_node* node = j->node;
    for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
      directory_node* child = node->subdirpointer[slot];
      if (child->currentsubdirs() > 0) j->children.push_back(new job(child));
    }
    held.lock();
    j->stage = job::state::done;
    j->charged = sizeof(job) + j->said.capacity() + j->children.capacity() * sizeof(job*);
    held_bytes_ += j->charged;
    for (auto child = j->children.rbegin(); child != j->children.rend(); ++child) {
      (*child)->queued = true;
      ready_.push_back(*child);
    }
    for (size_t n = std::min(j->children.size(), idle_writers_); n > 0; --n) wake_writers_.notify_one();
    if (walk_waiting_) walk_wakes_.notify_one();
  }

  const report_context& context_;
  shared_descriptors files_;
  std::mutex mutex_;
  std::condition_variable wake_writers_;
  std::condition_variable walk_wakes_;
  bool walk_waiting_ = false;
  bool stopping_ = false;
  size_t idle_writers_ = 0;
  size_t held_bytes_ = 0;
  std::vector<job*> ready_;
  std::vector<std::thread> writers_;
};

}  // namespace

bool output_concurrently(const report_context& context, directory_node* root, int threads) {
  page_crew crew(context, threads);
  if (crew.writers() == 0) return false;
  crew.run(root);
  return true;
}

}  // namespace quern
