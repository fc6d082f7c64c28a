#include "report/concurrent_pages.h"

#include <deque>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/bounded_handover.h"
#include "base/mutex.h"
#include "base/thread_annotations.h"
#include "report/directory_locks.h"
#include "report/directory_pages.h"

namespace quern {

namespace {

// What the writers may hold for the walk before it commits it.
constexpr size_t kHeldBytes = 8 << 20;

// Output files of several writers: when the process runs out of
// descriptors, a writer waits for another one's file to close instead of
// failing, so that no shortage is reported that one writer alone would not
// have met.
class shared_descriptors final : public output_directory {
 public:
  explicit shared_descriptors(output_directory& output) : output_(output) {}

  status identity_of(std::string_view name, uint64_t& device, uint64_t& inode) override {
    return output_.identity_of(name, device, inode);
  }

  status create_file(std::string_view name, std::unique_ptr<output_file>& result) override EXCLUDES(mutex_) {
    const mutex_lock held(mutex_);
    for (;;) {
      ++open_;
      const size_t closed_before = closed_;
      std::unique_ptr<output_file> file;
      status created;
      {
        const mutex_unlock unlocked(mutex_);
        created = output_.create_file(name, file);
      }
      if (created.is_ok()) {
        result = std::make_unique<counted_file>(*this, std::move(file));
        return created;
      }
      --open_;
      if (!created.out_of_descriptors()) return created;
      // Waits for one of the writers' files to close, unless one has since
      // this attempt began.
      while (closed_ == closed_before && open_ != 0) file_closed_.wait(mutex_);
      if (closed_ == closed_before) {
        // None of the writers' files is open to give a descriptor back: a
        // writer alone would fail here, and so do those waiting for one.
        file_closed_.notify_all();
        return created;
      }
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
    status close_as(std::string_view name) override {
      const status result = file_->close_as(name);
      file_.reset();
      owner_.closed();
      return result;
    }

   private:
    shared_descriptors& owner_;
    std::unique_ptr<output_file> file_;
  };

  void closed() EXCLUDES(mutex_) {
    {
      const mutex_lock held(mutex_);
      --open_;
      ++closed_;
    }
    file_closed_.notify_all();
  }

  output_directory& output_;
  mutex mutex_;
  condition_variable file_closed_;
  size_t open_ GUARDED_BY(mutex_) = 0;
  size_t closed_ GUARDED_BY(mutex_) = 0;
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
  explicit crew(const report_context& run) : context(run), output(run.output) {}

  uint8_t& state_of(const directory_node* node) REQUIRES(handover.guard()) {
    if (states.size() <= node->id()) states.resize(node->id() + 1, progress_byte::make(stage::unsubmitted, 0));
    return states[node->id()];
  }

  void work() EXCLUDES(handover.guard()) {
    page_workspace workspace;
    const mutex_lock held(handover.guard());
    while (!handover.stopping()) {
      directory_node* next = nullptr;
      while (next == nullptr && !ready.empty() && !handover.full()) {
        directory_node* first = ready.front();
        ready.pop_front();
        // The walk may have written it already.
        if (progress_byte::of(state_of(first)) == stage::ready) next = first;
      }
      if (next == nullptr) {
        handover.wait_for_work();
        continue;
      }
      run(next, workspace);
    }
  }

  // Writes the pages with the lock let go.
  void run(directory_node* node, page_workspace& workspace) REQUIRES(handover.guard()) {
    state_of(node) = progress_byte::make(stage::running, 0);
    diagnostics said(context.diag.level(), -1);
    int pages = 0;
    std::string text;
    {
      const mutex_unlock unlocked(handover.guard());
      pages = output_html_directory({context.options, said, output, context.ledger, context.earlier, &locks}, node,
                                    workspace);
      text = said.collected();
    }
    state_of(node) = progress_byte::make(stage::done, pages);
    if (!text.empty() || said.failures() > 0) {
      said_while_writing& kept = said_by_node[node->id()];
      kept.text = std::move(text);
      kept.failures = said.failures();
      kept.charged = sizeof(said_while_writing) + kept.text.capacity();
      handover.hand_over(kept.charged);
    }
    handover.wake_walk();
  }

  const report_context& context;
  shared_descriptors output;
  bounded_handover handover{kHeldBytes};
  std::deque<directory_node*> ready GUARDED_BY(handover.guard());
  std::vector<uint8_t> states GUARDED_BY(handover.guard());  // by node identifier
  std::unordered_map<uint64_t, said_while_writing> said_by_node GUARDED_BY(handover.guard());
  directory_locks locks;
  std::vector<std::thread> writers;
};

page_crew::page_crew(const report_context& context, int threads) : crew_(std::make_unique<crew>(context)) {
  grow(threads);
}

page_crew::~page_crew() {
  crew_->handover.stop();
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
    const mutex_lock held(crew_->handover.guard());
    crew_->state_of(node) = progress_byte::make(stage::ready, 0);
    crew_->ready.push_back(node);
  }
  crew_->handover.wake_workers(1);
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
  crew& c = *crew_;
  const mutex_lock held(c.handover.guard());
  while (!walk.empty()) {
    directory_node* node = walk.back();
    walk.pop_back();
    // A directory never submitted (a root that could not be opened) or not
    // yet taken is written here.
    const stage now = progress_byte::of(c.state_of(node));
    if (now == stage::unsubmitted || now == stage::ready) c.run(node, workspace);
    while (progress_byte::of(c.state_of(node)) != stage::done) c.handover.wait_for_workers();
    const int pages = progress_byte::pages(c.state_of(node));
    said_while_writing said;
    if (auto kept = c.said_by_node.find(node->id()); kept != c.said_by_node.end()) {
      said = std::move(kept->second);
      c.said_by_node.erase(kept);
      c.handover.take(said.charged);
    }
    const mutex_unlock unlocked(c.handover.guard());
    c.context.diag.absorb(said.text, said.failures);
    c.context.diag.progress().pages_written(pages);
    // The pages left the subdirectories in the order the walk goes on in.
    for (int64_t slot = node->currentsubdirs(); slot-- > 0;) {
      if (node->subdirpointer[slot]->currentsubdirs() > 0) walk.push_back(node->subdirpointer[slot]);
    }
  }
}

}  // namespace quern
