#pragma once

#include <cstddef>
#include <memory>

#include "report/report_context.h"
#include "tree/directory_node.h"

namespace quern {

// Writes directory pages with threads of its own, while the scan still goes
// on if need be: a directory's pages can be written as soon as its subtree
// is counted. One thread writes all pages of a directory, in their order;
// what was said while writing them is held back and said in the walk's
// order when the pages are committed.
class page_crew {
 public:
  // Starts up to `threads` writers; there may be fewer.
  page_crew(const report_context& context, int threads);
  ~page_crew();
  page_crew(const page_crew&) = delete;
  page_crew& operator=(const page_crew&) = delete;

  size_t writers() const;
  // Starts more writers, up to `threads` in all.
  void grow(int threads);

  // The directory's subtree is counted completely; its pages, if it gets
  // any, may be written now.
  void submit(directory_node* node);
  // Submits the root and every directory below it that gets pages.
  void submit_tree(directory_node* root);

  // Goes through the directories as the walk does, the root first and then
  // the subdirectories in the order their pages left them, waiting for each
  // one's pages (or writing them itself) and saying what was said then.
  // Pages of a directory that was never submitted are written then.
  void commit(directory_node* root);

 private:
  struct crew;
  std::unique_ptr<crew> crew_;
};

}  // namespace quern
