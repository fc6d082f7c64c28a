#include "report/directory_pages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <regex>
#include <vector>

#include "report/old_summary.h"
#include "support/counters.h"
#include "support/fake_file_system.h"
#include "support/report_check.h"
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

// Each page sorts the list the page before it left, by its own order: with
// ties, the order a page shows depends on the pages before. That the orders
// are those of the exchange sort is tested with the orderings.
TEST(DirectoryPages, EachPageSortsTheListThePageBeforeLeftByItsOwnOrder) {
  report r;
  // Bytes, subdirectories, files and other entries below, by name.
  const std::pair<const char*, std::vector<int64_t>> rows[] = {
      {"c", {1, 2, 1, 0}}, {"a", {3, 0, 0, 1}}, {"d", {2, 1, 1, 0}}, {"b", {0, 3, 0, 0}}};
  for (const auto& [name, counts] : rows) {
    directory_node* child = add_node(r.tree, r.root, name);
    child->size = byte_total(static_cast<uint64_t>(counts[0]));
    child->recursubdirs = counts[1];
    child->files = counts[2];
    child->recurdevices = counts[3];
  }
  r.write();
  const std::pair<const char*, const char*> expected[] = {{"sb", "a d c b"}, {"sc", "b c d a"}, {"sf", "c d b a"},
                                                          {"sl", "c d b a"}, {"sd", "a d b c"}, {"sn", "a b c d"}};
  for (const auto& [key, order] : expected) {
    std::string names;
    for (const std::string& name :
         quern_test::cells_of_class(r.files.written.at("out/d1_" + std::string(key) + ".html"), "tdlistname"))
      names += (names.empty() ? "" : " ") + name;
    EXPECT_EQ(names, order) << key;
  }
}

// Below the statistics of every page the same owners' table; the figures
// are given back once the pages are written, even where one failed.
TEST(DirectoryPages, EveryPageShowsTheOwnersBelowTheStatisticsAndTheFiguresAreGivenBackAfterwards) {
  for (const bool failing : {false, true}) {
    report r;
    directory_node* child = add_node(r.tree, r.root, "c");
    add_node(r.tree, child, "leaf");
    child->files = 2;
    child->size = byte_total(10);
    owner_ledger ledger([](owner_id user) -> std::optional<std::string> { return "u" + std::to_string(user); });
    owner_figures figures;
    figures.add(3, 10, 2);
    ledger.keep(child, figures);
    if (failing) r.files.fail_output("out/d2_sc.html", fake_file_system::stage::write, ENOSPC);
    output_html_directory({r.config, r.diag, r.files.output_at(r.config.outputdirectory), &ledger}, child);
    EXPECT_EQ(r.files.written.size(), failing ? 1u : 6u);
    for (const auto& [path, page] : r.files.written) {
      const std::string closing = "</table>\r\n</div>\r\n";
      EXPECT_EQ(page.find("<div class=\"ownerstext\">"), page.find(closing) + closing.size()) << path;
      EXPECT_EQ(quern_test::cells_of_class(page, "tdownername"), std::vector<std::string>{"u3"}) << path;
      EXPECT_EQ(quern_test::cells_of_class(page, "tdownershare"), std::vector<std::string>{"100,0 %"}) << path;
    }
    EXPECT_EQ(ledger.kept(), 0u);
  }
}

// The rows' names in the order a page shows them, gone ones too, each with
// its mark.
std::vector<std::string> shown_rows(const std::string& page) {
  static const std::regex row(
      "<td class=\"tdlist(?:removed)?name\">(?:<a href=\"[^\"]*\">)?([^<]*)(?:</a>)?"
      "(?: <span class=\"mark\">([a-z]+)</span>)?</td>");
  std::vector<std::string> names;
  for (std::sregex_iterator it(page.begin(), page.end(), row), end; it != end; ++it)
    names.push_back((*it)[1].str() + ((*it)[2].matched ? " " + (*it)[2].str() : ""));
  return names;
}

// Today a grew, b is new, c is as it was and z could not be read; of the
// two directories gone, one was read whole then.
struct compared_report : report {
  compared_report() {
    const std::string text =
        "#quern-summary 1\n#root\t/r\n#begun\t2026-12-07T09:16:31Z\n#source\tscan\n#options\t\n#scope\treport\n"
        "path\tbytes\town_bytes\tfiles\town_files\tsubdirs\town_subdirs\tlinks\town_links\tothers\town_others\tgaps\t"
        "listed\n"
        ".\t4600\t0\t9\t0\t5\t5\t0\t0\t0\t0\t-\t1\n"
        "a\t1000\t1000\t1\t1\t0\t0\t0\t0\t0\t0\t-\t1\n"
        "c\t100\t100\t1\t1\t0\t0\t0\t0\t0\t0\t-\t1\n"
        "gone 2\t500\t500\t2\t2\t0\t0\t0\t0\t0\t0\tu\t1\n"
        "gone\\t1\t3000\t3000\t5\t5\t0\t0\t0\t0\t0\t0\t-\t1\n"
        "z\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t-\t1\n"
        "#end\t6\n";
    fake_file_system source;
    source.inputs["old"] = {text};
    std::string message;
    old = read_old_summary(source, "old", message);
    EXPECT_NE(old, nullptr) << message;
    add_node(tree, root, "z")->gaps = kGapUnread;
    add_node(tree, root, "c")->size = byte_total(100);
    directory_node* a = add_node(tree, root, "a");
    a->size = byte_total(1500);
    a->files = 2;
    add_node(tree, add_node(tree, root, "b"), "b1")->size = byte_total(2000);
    quern_test::add_up(root);
  }
  void write() {
    output_html_directory({config, diag, files.output_at(config.outputdirectory), nullptr, old.get()}, root);
  }
  std::unique_ptr<old_summary> old;
};

TEST(DirectoryPages, ChangesStandBesideTheFiguresAndAPageListsTheRowsByGrowth) {
  compared_report r;
  r.write();
  EXPECT_EQ(r.files.written_order,
            (std::vector<std::string>{"out/d1_sb.html", "out/d1_sc.html", "out/d1_sf.html", "out/d1_sl.html",
                                      "out/d1_sd.html", "out/d1_sg.html", "out/d1_sn.html"}));
  const std::string& by_bytes = r.files.written.at("out/d1_sb.html");
  const std::string& by_growth = r.files.written.at("out/d1_sg.html");
  // Gone directories follow the others on every page; the page by growth
  // puts the largest growth first and unknown changes last.
  EXPECT_EQ(shown_rows(by_bytes),
            (std::vector<std::string>{"b neu", "a", "c", "z", "gone\t1 entfernt", "gone 2 entfernt"}));
  EXPECT_EQ(shown_rows(r.files.written.at("out/d1_sn.html")),
            (std::vector<std::string>{"a", "b neu", "c", "z", "gone\t1 entfernt", "gone 2 entfernt"}));
  EXPECT_EQ(shown_rows(by_growth),
            (std::vector<std::string>{"b neu", "a", "c", "gone\t1 entfernt", "gone 2 entfernt", "z"}));
  EXPECT_EQ(quern_test::cells_of_class(by_growth, "tdlistchangebytes"),
            (std::vector<std::string>{"+2.000", "+500", "0", "-3.000", "", ""}));
  EXPECT_EQ(quern_test::cells_of_class(by_growth, "tdlistchangefiles"),
            (std::vector<std::string>{"0", "+1", "-1", "-5", "", ""}));
  // Something below the root could not be read: its own change is unknown.
  EXPECT_EQ(quern_test::cells_of_class(by_growth, "tdchange"), std::vector<std::string>(5, ""));
  EXPECT_TRUE(has(by_bytes, "<td class=\"tdheadlistchangebytes\"><a href=\"d1_sg.html\">&Auml;nderung Bytes</a>"));
  EXPECT_TRUE(has(by_growth, "<td class=\"tdheadlistchangebytes\">&Auml;nderung Bytes</td>"));
  EXPECT_TRUE(has(by_growth, "<td class=\"tdheadlistbytes\"><a href=\"d1_sb.html\">"));
  EXPECT_TRUE(has(by_growth, "<a href=\"d5_sg.html\">b</a>"));
  EXPECT_EQ(quern_test::figures_fault(by_growth), "");
  // The page by change leaves the children as the page by name needs them.
  std::vector<std::string> names;
  for (const directory_node* child : quern_test::children(r.root)) names.emplace_back(child->name);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "z"}));
}

// A change stands beside its column and goes with it.
TEST(DirectoryPages, ChangeColumnsAndThePageByGrowthFollowTheirFiguresColumns) {
  compared_report without_bytes;
  without_bytes.config.display_row_size = 0;
  without_bytes.write();
  EXPECT_FALSE(without_bytes.files.written.contains("out/d1_sg.html"));
  const std::string& page = without_bytes.files.written.at("out/d1_sn.html");
  EXPECT_FALSE(has(page, "changebytes"));
  EXPECT_EQ(quern_test::cells_of_class(page, "tdlistchangefiles").size(), 6u);

  compared_report without_files;
  without_files.config.display_row_files = 0;
  without_files.config.sort_row_size = 0;
  without_files.write();
  EXPECT_TRUE(without_files.files.written.contains("out/d1_sg.html"));
  EXPECT_FALSE(has(without_files.files.written.at("out/d1_sg.html"), "changefiles"));
}

}  // namespace
}  // namespace quern
