#include "report/traversal.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <cerrno>

#include "report/directory_pages.h"
#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::add_node;

// Refuses every page, so that a very deep chain costs no page text.
struct refusing_file_system : fake_file_system {
  status create_file(const std::string&, std::unique_ptr<output_file>&) override { return status::error(EROFS); }
};

TEST(Traversal, DeepChainDoesNotExhaustASmallStack) {
  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = add_node(tree, nullptr, "R");
  for (directory_node* bottom = root; tree.structures() <= 100000;) bottom = add_node(tree, bottom, "d");
  report_options config;
  refusing_file_system files;
  struct job {
    report_context context;
    directory_node* root;
  } walk{{config, diag, files.output_at(config.outputdirectory)}, root};
  auto run = [](void* argument) -> void* {
    output(static_cast<job*>(argument)->context, static_cast<job*>(argument)->root);
    return nullptr;
  };
  pthread_attr_t small_stack;
  pthread_attr_init(&small_stack);
  pthread_attr_setstacksize(&small_stack, 256 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &small_stack, run, &walk), 0);
  pthread_join(thread, nullptr);
  EXPECT_EQ(diag.failures(), 100000);
}

}  // namespace
}  // namespace quern
