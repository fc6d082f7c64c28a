#include "report/page_frame.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <set>
#include <string>

#include "report/owner_table.h"
#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

TEST(PageFrame, StylesheetIsWrittenWholeOrItsFailureReported) {
  // An FNV-1a digest of the exact text: no byte can change unnoticed.
  const std::string_view css = stylesheet_text();
  uint64_t digest = 0xcbf29ce484222325;
  for (unsigned char c : css) digest = (digest ^ c) * 0x100000001b3;
  EXPECT_EQ(digest, 0x16e690fca7932e85u);

  // Failures of pages, which write the same way, are tested with them.
  report_options config;
  config.outputdirectory = "out/";
  diagnostics diag(verbosity::operations, -1);
  fake_file_system files;
  output_stylesheet({config, diag, files.output_at(config.outputdirectory)});
  EXPECT_EQ(files.written.at("out//styles.css"), css);
  files.written.clear();
  files.fail_output("out//styles.css", fake_file_system::stage::close, ENOSPC);
  output_stylesheet({config, diag, files.output_at(config.outputdirectory)});
  EXPECT_EQ(diag.collected(),
            "*** try to create stylesheet out//styles.css\r\n*** try to create stylesheet out//styles.css\r\n"
            "Konnte Stylesheet nicht erstellen: No space left on device\n");
  EXPECT_EQ(diag.failures(), 1);
  EXPECT_FALSE(files.written.contains("out//styles.css"));
}

// The table of owners brings its rules, one for each class it uses, and
// only reports that show owners have them.
TEST(PageFrame, StylesheetHasTheRulesOfTheOwnersTableOnlyWithOwners) {
  report_options config;
  config.outputdirectory = "out";
  diagnostics diag(verbosity::quiet, -1);
  fake_file_system files;
  directory_tree tree(diag);
  directory_node* root = quern_test::add_node(tree, nullptr, "r");
  owner_ledger ledger([](owner_id) -> std::optional<std::string> { return std::nullopt; });
  owner_figures figures;
  for (owner_id owner = 0; owner <= kOwnersNamed; ++owner) figures.add(owner, 1, 1);
  ledger.keep(root, figures);
  output_stylesheet({config, diag, files.output_at(config.outputdirectory), &ledger});
  const std::string css = files.written.at("out/styles.css");
  EXPECT_EQ(css, std::string(stylesheet_text()) + std::string(owner_table_rules()));

  std::string table;
  append_owner_table(table, ledger, *root);
  std::set<std::string> classes;
  for (size_t at = table.find("class=\""); at != std::string::npos; at = table.find("class=\"", at + 1))
    classes.insert(table.substr(at + 7, table.find('"', at + 7) - at - 7));
  EXPECT_EQ(classes.size(), 11u);
  for (const std::string& used : classes)
    EXPECT_NE(owner_table_rules().find("." + used + " {"), std::string::npos) << used;
}

}  // namespace
}  // namespace quern
