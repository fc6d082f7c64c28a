#include "report/directory_pages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

#include "support/counters.h"
#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::add_node;

struct report {
  report() { config.outputdirectory = "out"; }
  void write() { output_html_directory({config, diag, files}, root); }

  diagnostics diag{0, -1};
  directory_tree tree{diag};
  report_options config;
  fake_file_system files;
  directory_node* root = add_node(tree, nullptr, "R");
};

bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Per page written: its key, "B" for a bytes column, "P" for its plain
// heading, "N" for a table of the name column alone.
TEST(DirectoryPages, SwitchesChooseThePagesAndColumns) {
  const std::pair<std::function<void(report_options&)>, const char*> cases[] = {
      {[](report_options&) {}, "sb:BP sc:B sf:B sl:B sd:B sn:B "},
      {[](report_options& c) { c.sort_row_size = 0; }, "sc:BP sf:BP sl:BP sd:BP sn:BP "},
      {[](report_options& c) { c.display_row_size = 0; }, "sc: sf: sl: sd: sn: "},
      {[](report_options& c) {
         c.display_row_size = c.display_row_subdirs = c.display_row_files = 0;
         c.display_row_symlinks = c.display_row_devices = 0;
       },
       "sn:N "},
  };
  for (const auto& [set, expected] : cases) {
    report r;
    set(r.config);
    add_node(r.tree, r.root, "only");
    r.write();
    std::string pages;
    for (const std::string& path : r.files.written_order) {
      const std::string& page = r.files.written.at(path);
      pages += path.substr(7, 2) + ":" + (has(page, "\"tdlistbytes\"") ? "B" : "") +
               (has(page, "\"tdheadlistbytes\">Anzahl Bytes<") ? "P" : "") +
               (has(page,
                    "<tr>\r\n <td class=\"tdheadlistname\">Unterverzeichnisname</td>\r\n</tr><tr>\r\n"
                    " <td class=\"tdlistname\">only</td>\r\n</tr></table>")
                    ? "N "
                    : " ");
    }
    EXPECT_EQ(pages, expected);
  }
}

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

// The rows of a page as "name=bytes".
std::vector<std::string> rows(const std::string& page) {
  std::vector<std::string> found;
  for (size_t at = page.find("tdlistname\">"); at != std::string::npos; at = page.find("tdlistname\">", at + 1)) {
    const size_t name = at + 12, bytes = page.find("tdlistbytes\">", at) + 13;
    found.push_back(page.substr(name, page.find('<', name) - name) + "=" +
                    page.substr(bytes, page.find('<', bytes) - bytes));
  }
  return found;
}

TEST(DirectoryPages, TiedRowsFollowTheExchangeSortPageAfterPage) {
  report r;
  std::vector<directory_node*> order;
  for (const char* name : {"m", "c", "x", "a", "k", "b", "q", "e"}) {
    order.push_back(add_node(r.tree, r.root, name));
    order.back()->size = static_cast<int64_t>(order.size() * 4 % 10);
    order.back()->files = static_cast<int64_t>(order.size() % 3);
    order.back()->recurdevices = static_cast<int64_t>(order.size() % 2);
  }
  r.write();
  const std::pair<const char*, int64_t directory_node::*> pages[] = {
      {"sb", &directory_node::size},     {"sc", &directory_node::subdirs},      {"sf", &directory_node::files},
      {"sl", &directory_node::symlinks}, {"sd", &directory_node::recurdevices}, {"sn", nullptr}};
  for (const auto& [key, field] : pages) {
    std::vector<std::string> expected;
    for (size_t i = 0; i < order.size(); ++i) {
      for (size_t j = i + 1; j < order.size(); ++j) {
        const bool follows =
            field != nullptr ? order[i]->*field < order[j]->*field : std::strcmp(order[i]->name, order[j]->name) > 0;
        if (follows) std::swap(order[i], order[j]);
      }
      expected.push_back(std::string(order[i]->name) + "=" + std::to_string(order[i]->size));
    }
    EXPECT_EQ(rows(r.files.written.at("out/d1_" + std::string(key) + ".html")), expected) << key;
  }
}

// What the scan passes over in the report's own directory while pages are
// written: exactly the names pages get, nothing a user might keep there.
TEST(DirectoryPages, PageNamesAreRecognisedExactly) {
  report r;
  for (const quern_test::page_order& page : quern_test::kPageOrders) {
    std::string name;
    append_page_name(name, r.root, page.key);
    EXPECT_TRUE(is_page_name(name)) << name;
  }
  EXPECT_TRUE(is_page_name("d1234567890_sb.html"));
  for (const char* other : {"styles.css", "index.html", "d_sb.html", "dx_sb.html", "d1_sx.html", "d1_sb.htm",
                            "d1_sbb.html", "D1_sb.html", "d1sb.html", "d1_sb.html~", "e1_sb.html", ""})
    EXPECT_FALSE(is_page_name(other)) << other;
}

}  // namespace
}  // namespace quern
