#include "report/directory_pages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::add_node;

struct report {
  report() { config.outputdirectory = "out"; }
  void write() { output_html_directory({config, diag, files.output_at(config.outputdirectory)}, root); }

  diagnostics diag{verbosity::quiet, -1};
  directory_tree tree{diag};
  report_options config;
  fake_file_system files;
  directory_node* root = add_node(tree, nullptr, "R");
};

// A page that was created but not written completely is removed, so that
// only whole pages stay.
TEST(DirectoryPages, AFailedPageEndsTheDirectoryIsCountedAndLeavesNoPartialFile) {
  for (auto stage : {fake_file_system::stage::create, fake_file_system::stage::write, fake_file_system::stage::close}) {
    report r;
    r.files.fail_output("out/d1_sc.html", stage, EACCES);
    r.write();
    EXPECT_EQ(r.diag.collected(), "Konnte Output HTML nicht erstellen: Permission denied\n");
    EXPECT_EQ(r.diag.failures(), 1);
    EXPECT_EQ(r.files.written.size(), 1u);
    EXPECT_TRUE(r.files.written.contains("out/d1_sb.html"));
    EXPECT_EQ(r.files.removed, stage == fake_file_system::stage::create ? std::vector<std::string>{}
                                                                        : std::vector<std::string>{"out/d1_sc.html"});
  }
}

}  // namespace
}  // namespace quern
