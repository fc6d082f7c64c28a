#include "report/summary_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::add_node;

// Records the size of every write.
class recording_file final : public output_file {
 public:
  explicit recording_file(std::vector<std::string>& writes) : writes_(writes) {}
  status write(std::string_view bytes) override {
    writes_.emplace_back(bytes);
    return status::ok();
  }
  status close() override { return status::ok(); }
  status close_as(std::string_view) override { return status::ok(); }

 private:
  std::vector<std::string>& writes_;
};

TEST(SummaryWriter, ASummaryOfAnySizeIsWrittenInBoundedPiecesAndEndsWithItsCount) {
  std::vector<std::string> writes;
  summary_writer writer(std::make_unique<recording_file>(writes), {}, nullptr);
  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = add_node(tree, nullptr, "/r");
  directory_node* deep = add_node(tree, add_node(tree, root, "x#y"), "\xc3\xa4\xff");
  const int lines = 20000;
  for (int line = 0; line < lines - 2; ++line) writer.add(*deep, true);
  writer.add(*deep->parent, false);
  writer.add(*root, true);
  ASSERT_TRUE(writer.finish().is_ok());
  ASSERT_GT(writes.size(), 4u);
  std::string all;
  for (const std::string& piece : writes) {
    EXPECT_LE(piece.size(), 64u * 1024 + 100);
    all += piece;
  }
  EXPECT_TRUE(all.substr(all.find("\tlisted\n") + 8).starts_with("x\\x23y/\xc3\xa4\\xff\t0\t0\t"));
  EXPECT_TRUE(
      all.ends_with("\nx\\x23y\t0\t0\t0\t0\t1\t1\t0\t0\t0\t0\t-\t0\n.\t0\t0\t0\t0\t1\t1\t0\t0\t0\t0\t-\t1\n#end\t" +
                    std::to_string(lines) + "\n"));
}

// A summary without its end must not stay; one this run did not create is
// left alone.
TEST(SummaryWriter, ASummaryThatFailsIsRemovedAndAnExistingFileIsNeverTouched) {
  for (const auto stage : {fake_file_system::stage::write, fake_file_system::stage::close}) {
    fake_file_system files;
    files.fail_output("out/summary.txt", stage, ENOSPC);
    diagnostics diag(verbosity::quiet, -1);
    directory_tree tree(diag);
    directory_node* root = add_node(tree, nullptr, "/r");
    report_options config;
    config.outputdirectory = "out";
    output_report_summary({config, diag, files.output_at(config.outputdirectory)}, root, {});
    EXPECT_EQ(diag.collected(), "Konnte Zusammenfassung nicht erstellen: No space left on device\n");
    EXPECT_EQ(diag.failures(), 1);
    EXPECT_FALSE(files.written.contains("out/summary.txt"));
    EXPECT_EQ(files.removed, std::vector<std::string>{"out/summary.txt"});
  }
  fake_file_system files;
  files.inputs["kept"] = {"earlier"};
  std::unique_ptr<summary_writer> writer;
  EXPECT_EQ(summary_writer::open(files.output_at("."), "kept", {}, writer).error_number(), EEXIST);
  EXPECT_EQ(writer, nullptr);
  EXPECT_TRUE(files.removed.empty());
}

}  // namespace
}  // namespace quern
