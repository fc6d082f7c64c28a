#include "report/concurrent_pages.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "report/directory_pages.h"

namespace quern {

namespace {

using lock = std::unique_lock<std::mutex>;

// What the writers may hold for the walk before it commits it.
constexpr size_t kHeldBytes = 8 << 20;

bool out_of_descriptors(status result) { return result.error_number() == EMFILE || result.error_number() == ENFILE; }

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

// Where a directory's pages stand, one byte per directory, so that a tree of
// millions of directories costs the crew little more than the tree itself.
enum class stage : uint8_t { unsubmitted, ready, running, done };

struct progress_byte {
  static stage of(uint8_t b) { return static_cast<stage>(b & 3); }
  static int pages(uint8_t b) { return b >> 2; }
  static uint8_t make(stage s, int pages) { return static_cast<uint8_t>(static_cast<int>(s) | pages << 2); }
};

// What was said while writing a directory's pages; kept only where
// something was said or failed.
struct said_while_writing {
  std::string text;
  int64_t failures = 0;
  size_t charged = 0;
};

bool has_pages(const directory_node* node) { return node->parent == nullptr || node->currentsubdirs() > 0; }

}  // namespace

// Writers take ready directories in the order they came; the walk commits
// finished ones in its own order and takes up any that it needs and nobody
// has started.
struct page_crew::crew {
  explicit crew(const report_context& run) : context(run), files(run.files) {}

  uint8_t& state_of(const directory_node* node) {
    if (states.size() <= node->id) states.resize(node->id + 1, progress_byte::make(stage::unsubmitted, 0));
    return states[node->id];
  }

  void work() {
    page_workspace workspace;
    lock held(mutex);
    for (;;) {
      if (stopping) return;
      directory_node* next = nullptr;
      while (next == nullptr && !ready.empty() && held_bytes < kHeldBytes) {
        directory_node* first = ready.front();
        ready.pop_front();
        // The walk may have written it already.
        if (progress_byte::of(state_of(first)) == stage::ready) next = first;
      }
      if (next == nullptr) {
        wake_writers.wait(held);
        continue;
      }
      run(next, held, workspace);
    }
  }

  void run(directory_node* node, lock& held, page_workspace& workspace) {
    state_of(node) = progress_byte::make(stage::running, 0);
    held.unlock();
    diagnostics said(context.diag.level(), -1);
    const int pages = output_html_directory({context.options, said, files}, node, workspace);
    std::string text = said.collected();
    held.lock();
    state_of(node) = progress_byte::make(stage::done, pages);
    if (!text.empty() || said.failures() > 0) {
      said_while_writing& kept = said_by_node[node->id];
      kept.text = std::move(text);
      kept.failures = said.failures();
      kept.charged = sizeof(said_while_writing) + kept.text.capacity();
      held_bytes += kept.charged;
    }
    if (walk_waiting) walk_wakes.notify_one();
  }

  const report_context& context;
  shared_descriptors files;
  std::mutex mutex;
  std::condition_variable wake_writers;
  std::condition_variable walk_wakes;
  bool walk_waiting = false;
  bool stopping = false;
  size_t held_bytes = 0;
  std::deque<directory_node*> ready;
  std::vector<uint8_t> states;  // by node identifier
  std::unordered_map<uint64_t, said_while_writing> said_by_node;
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
  {
    const std::lock_guard held(crew_->mutex);
    crew_->state_of(node) = progress_byte::make(stage::ready, 0);
    crew_->ready.push_back(node);
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
    // A directory never submitted (a root that could not be opened) or not
    // yet taken is written here.
    const stage now = progress_byte::of(crew_->state_of(node));
    if (now == stage::unsubmitted || now == stage::ready) crew_->run(node, held, workspace);
    while (progress_byte::of(crew_->state_of(node)) != stage::done) {
      crew_->walk_waiting = true;
      crew_->walk_wakes.wait(held);
      crew_->walk_waiting = false;
    }
    const int pages = progress_byte::pages(crew_->state_of(node));
    said_while_writing said;
    if (auto kept = crew_->said_by_node.find(node->id); kept != crew_->said_by_node.end()) {
      said = std::move(kept->second);
      crew_->said_by_node.erase(kept);
      const bool was_full = crew_->held_bytes >= kHeldBytes;
      crew_->held_bytes -= said.charged;
      if (was_full && crew_->held_bytes < kHeldBytes) crew_->wake_writers.notify_all();
    }
    held.unlock();
    crew_->context.diag.absorb(said.text, said.failures);
    crew_->context.diag.progress().pages_written(pages);
    // The pages left the subdirectories in the order the walk goes on in.
    for (int64_t slot = node->currentsubdirs(); slot-- > 0;) {
      if (node->subdirpointer[slot]->currentsubdirs() > 0) walk.push_back(node->subdirpointer[slot]);
    }
    held.lock();
  }
}

}  // namespace quern
