#include "base/progress.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/output_descriptor.h"
#include "base/text.h"

namespace quern {

namespace {

constexpr int kDefaultColumns = 80;
constexpr int kWidestLine = 200;

// What erase_progress_line_now needs, kept where a signal handler or the
// thread that ends the run may read it: the descriptor of the line shown and
// how many columns it covers. Lock-free, so safe in a handler.
std::atomic<int> g_descriptor = -1;
std::atomic<int> g_covered = 0;
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

void erase_progress_line_now() noexcept {
  const int descriptor = g_descriptor;
  const int covered = g_covered;
  if (descriptor < 0 || covered <= 0) return;
  // Blanks over the line, with the cursor back at its start, work on every
  // terminal, without escape sequences.
  char blank[kWidestLine + 2];
  blank[0] = '\r';
  std::memset(blank + 1, ' ', static_cast<size_t>(covered));
  blank[covered + 1] = '\r';
  write_fully(descriptor, std::string_view(blank, static_cast<size_t>(covered) + 2));
  g_covered = 0;
}

progress_line::~progress_line() {
  erase();
  if (shown() && g_descriptor == descriptor_) g_descriptor = -1;
}

void progress_line::show_on(int descriptor, columns_function columns, clock_function now) {
  descriptor_ = descriptor;
  columns_ = columns;
  now_ = now;
  g_covered = 0;
  g_descriptor = descriptor;
}

void progress_line::directory_scanned(int64_t entries, const byte_total& bytes) {
  if (!shown()) return;
  ++directories_;
  entries_ += entries;
  bytes_ += bytes;
  counted();
}

void progress_line::begin_pages(int64_t total) {
  writing_pages_ = true;
  pages_total_ = total;
}

void progress_line::pages_written(int64_t pages) {
  if (!shown()) return;
  pages_ += pages;
  counted();
}

void progress_line::erase() {
  if (shown()) erase_progress_line_now();
}

void progress_line::counted() {
  const clock::time_point now = now_();
  if (drawn_before_ && now - last_draw_ < kRedrawInterval) return;
  drawn_before_ = true;
  last_draw_ = now;
  draw();
}

void progress_line::draw() {
  text_.clear();
  text_.push_back('\r');
  if (writing_pages_) {
    text_ += "HTML: Seiten ";
    text_ += dotted(pages_);
    if (pages_total_ > 0) {
      text_ += " von ";
      text_ += dotted(pages_total_);
    }
  } else {
    text_ += "Scan: Verzeichnisse ";
    text_ += dotted(directories_);
    text_ += ", Eintraege ";
    text_ += dotted(entries_);
    text_ += ", Bytes ";
    text_ += dotted(bytes_);
  }
  int columns = columns_ != nullptr ? columns_(descriptor_) : 0;
  if (columns <= 0) columns = kDefaultColumns;
  // The last column stays free: a line that fills it makes some terminals
  // wrap, and a wrapped line can no longer be erased from its start.
  const size_t width = static_cast<size_t>(std::min(columns - 1, kWidestLine));
  if (text_.size() > width + 1) text_.resize(width + 1);
  const int covered = static_cast<int>(text_.size()) - 1;
  if (covered < g_covered) erase_progress_line_now();
  // Recorded before the write, so that a signal arriving during it still
  // erases whatever part of the line has reached the terminal.
  g_covered = std::max(g_covered.load(), covered);
  write_fully(descriptor_, text_);
}

}  // namespace quern
