#include "report/summary_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::add_node;

// The directory lines of a summary, without its header and end.
std::string directory_lines(const std::string& summary) {
  const size_t start = summary.find("\tlisted\n") + 8;
  return summary.substr(start, summary.rfind("#end\t") - start);
}

// Every directory with pages and every row of them, in the order of the
// pages, whatever order a failed page left the rows in; a row without pages
// is listed only where it has no subdirectories.
TEST(SummaryWriter, TheReportsSummaryFollowsThePagesInNameOrder) {
  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = add_node(tree, nullptr, "/the root");
  directory_node* b = add_node(tree, root, "b");
  directory_node* without_pages = add_node(tree, root, "c\tx");
  add_node(tree, without_pages, "hidden");
  tree.drop_children(without_pages);
  directory_node* a = add_node(tree, root, "a");
  a->files = 3;
  directory_node* b1 = add_node(tree, b, "b1");
  add_node(tree, b1, "b2")->size = byte_total(7);
  quern_test::add_up(root);

  report_options config;
  config.outputdirectory = "out";
  fake_file_system files;
  output_report_summary({config, diag, files.output_at(config.outputdirectory)}, root,
                        {"/the root", "2026-12-07T09:16:31Z", "scan", "", "report"});
  EXPECT_EQ(diag.collected(), "");
  const std::string& summary = files.written.at("out/summary.txt");
  EXPECT_TRUE(summary.starts_with("#quern-summary 1\n#root\t/the root\n#begun\t2026-12-07T09:16:31Z\n"));
  EXPECT_EQ(directory_lines(summary),
            ".\t7\t0\t3\t0\t6\t3\t0\t0\t0\t0\t-\t1\n"
            "a\t0\t0\t3\t3\t0\t0\t0\t0\t0\t0\t-\t1\n"
            "b\t7\t0\t0\t0\t2\t1\t0\t0\t0\t0\t-\t1\n"
            "b/b1\t7\t0\t0\t0\t1\t1\t0\t0\t0\t0\t-\t1\n"
            "b/b1/b2\t7\t7\t0\t0\t0\t0\t0\t0\t0\t0\t-\t1\n"
            "c\\tx\t0\t0\t0\t0\t1\t1\t0\t0\t0\t0\t-\t0\n");
  EXPECT_TRUE(summary.ends_with("\n#end\t6\n"));
  EXPECT_EQ(quern_test::children(root), (std::vector<directory_node*>{a, b, without_pages}));
}

std::optional<std::string> numbered_name(owner_id user) { return "u" + std::to_string(user); }

// With owners, the root and the directories with pages have theirs, which
// the ledger keeps past their pages for it and then gives back; rows
// without pages have none kept.
TEST(SummaryWriter, TheReportsSummaryHasTheOwnersOfTheDirectoriesWithPages) {
  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = add_node(tree, nullptr, "r");
  directory_node* a = add_node(tree, root, "a");
  directory_node* leaf = add_node(tree, a, "leaf");
  directory_node* empty = add_node(tree, root, "empty");
  add_node(tree, empty, "below");
  leaf->size = byte_total(5);
  quern_test::add_up(root);
  owner_ledger ledger(numbered_name);
  ledger.keep_for_summary();
  owner_figures figures;
  figures.add(7, 5, 1);
  figures.add(3, 0, 1);
  ledger.keep(a, figures);
  ledger.keep(root, figures);
  ledger.pages_written(a);
  ledger.pages_written(root);
  EXPECT_EQ(ledger.kept(), 2u);

  report_options config;
  config.outputdirectory = "out";
  fake_file_system files;
  output_report_summary({config, diag, files.output_at(config.outputdirectory), &ledger}, root,
                        {"r", "2026-12-07T09:16:31Z", "scan", "", "report"});
  const std::string& summary = files.written.at("out/summary.txt");
  EXPECT_NE(summary.find("\tlisted\towners\n"), std::string::npos);
  EXPECT_EQ(directory_lines(summary.substr(0, summary.find("\towners\n")) + "\n" +
                            summary.substr(summary.find("\towners\n") + 8)),
            ".\t5\t0\t0\t0\t4\t2\t0\t0\t0\t0\t-\t1\tu7=5/1,u3=0/1\n"
            "a\t5\t0\t0\t0\t1\t1\t0\t0\t0\t0\t-\t1\tu7=5/1,u3=0/1\n"
            "a/leaf\t5\t5\t0\t0\t0\t0\t0\t0\t0\t0\t-\t1\t?\n"
            "empty\t0\t0\t0\t0\t1\t1\t0\t0\t0\t0\t-\t1\t\n"
            "empty/below\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t1\t?\n");
  // The root's stay for the entry page.
  EXPECT_EQ(ledger.kept(), 1u);
}

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
