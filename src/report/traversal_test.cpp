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

TEST(Traversal, WalksDepthFirstInNameOrderAndGoesOnAfterFailures) {
  diagnostics quiet(verbosity::quiet, -1);
  directory_tree tree(quiet);
  directory_node* root = add_node(tree, nullptr, "R");
  for (const char* name : {"b", "a", "C"}) add_node(tree, add_node(tree, root, name), "leaf");
  report_options config;
  config.outputdirectory = "out";
  config.display_row_size = config.display_row_subdirs = config.display_row_files = 0;
  config.display_row_symlinks = config.display_row_devices = 0;
  diagnostics diag(verbosity::operations, -1);
  fake_file_system files;
  // Leaves get no pages; the others one per order offered, by name alone here.
  EXPECT_EQ(directories_with_pages(root) * pages_per_directory({config, diag, files.output_at(config.outputdirectory)}),
            4);
  const report_options every_column;
  EXPECT_EQ(directories_with_pages(root) *
                pages_per_directory({every_column, diag, files.output_at(every_column.outputdirectory)}),
            24);
  files.fail_output("out/d4_sn.html", fake_file_system::stage::create, EACCES);
  files.fail_output("out/index.html", fake_file_system::stage::close, ENOSPC);
  output({config, diag, files.output_at(config.outputdirectory)}, root);
  output_index_html({config, diag, files.output_at(config.outputdirectory)}, root);
  EXPECT_EQ(diag.collected(),
            "*** try to create html file out/d1_sn.html\r\n*** sorting\r\n*** generate entry 0 -> d6\r\n"
            "*** generate entry 1 -> d4\r\n*** generate entry 2 -> d2\r\n"
            "*** try to create html file out/d6_sn.html\r\n*** generate entry 0 -> d7\r\n"
            "*** try to create html file out/d4_sn.html\r\nKonnte Output HTML nicht erstellen: Permission denied\n"
            "*** try to create html file out/d2_sn.html\r\n*** generate entry 0 -> d3\r\n"
            "*** try to create index.html file out/index.html\r\n"
            "Konnte Index HTML nicht erstellen: No space left on device\n");
  EXPECT_EQ(diag.failures(), 2);
  EXPECT_EQ(files.removed, std::vector<std::string>{"out/index.html"});
}

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
