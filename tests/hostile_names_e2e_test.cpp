#include <gtest/gtest.h>

#include <map>

#include "quern_process.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

std::string escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Every byte a name can hold, spread over several names, and the characters
// that markup, terminals and encodings treat specially.
std::vector<std::string> hostile_names() {
  std::vector<std::string> names(1);
  for (int byte = 1; byte < 256; ++byte) {
    if (byte == '/') continue;
    if (names.back().size() == 16) names.emplace_back();
    names.back().push_back(static_cast<char>(byte));
  }
  for (const char* name :
       {"new\nline", "tab\there", "carriage\rreturn", "\"double\"", "'single'", "<td>cell", "<!--", "a&amp;b",
        "back\\slash", " lead and trail ", "\xff\xfe", "\xc3\x28", "\xc0\xaf", "\xe2\x82"}) {
    names.emplace_back(name);
  }
  names.emplace_back(255, 'n');
  std::string markup;
  while (markup.size() < 255) markup += "<&>";
  names.push_back(markup);
  return names;
}

// Each name is a directory below the root, holding a directory and a file of
// the same name, so that it stands in rows, trails, headings and titles.
struct hostile_tree {
  hostile_tree() {
    make_directory(root);
    for (const std::string& name : names) {
      make_directory(root + "/" + name);
      make_directory(root + "/" + name + "/" + name);
      make_directory(root + "/" + name + "/" + name + "/leaf");
      make_file(root + "/" + name + "/" + name + "/" + name, 7);
    }
  }
  temporary_directory scratch;
  const std::string root = scratch / "root dir <&> \"q\" 'x' \\ \t~";
  const std::vector<std::string> names = hostile_names();
};

TEST(HostileNamesEndToEnd, EveryNameIsEscapedWhereverItStandsAndShownAsItIsInTheTrace) {
  hostile_tree tree;
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string output = tree.scratch / ("out put &<>\"'\\" + std::to_string(&variant - thread_variants.data()));
    const run_result result = run_quern({with_variant(variant, {"-v", "-v", "-o", output, "-r", tree.root})});
    ASSERT_EQ(result.exit_status, 0) << result.standard_error;
    EXPECT_EQ(report_fault(output), "");

    std::map<std::string, std::string> page_by_heading;
    for (const std::string& file : list_directory(output)) {
      if (!file.ends_with("_sn.html")) continue;
      const std::string page = read_file(output + "/" + file);
      const size_t start = page.find("<h1>") + 4;
      page_by_heading[page.substr(start, page.find("</h1>", start) - start)] = page;
    }
    const std::string root_shown = escaped(tree.root);
    for (const std::string& name : tree.names) {
      SCOPED_TRACE(name);
      const std::string path = tree.root + "/" + name;
      EXPECT_NE(result.standard_error.find("** scanning " + path + "\n"), std::string::npos);
      EXPECT_NE(result.standard_error.find("** detecting directory " + path + "/" + name + "\r\n"), std::string::npos);

      const std::string shown = escaped(name);
      EXPECT_NE(page_by_heading.at(root_shown).find("\">" + shown + "</a></td>"), std::string::npos);
      EXPECT_NE(page_by_heading.at(root_shown + "/" + shown).find("\">" + shown + "</a></td>"), std::string::npos);
      const std::string& deepest = page_by_heading.at(root_shown + "/" + shown + "/" + shown);
      EXPECT_NE(deepest.find("<title>Quern - " + root_shown + "/" + shown + "/" + shown + "</title>"),
                std::string::npos);
      EXPECT_NE(deepest.find("class=\"toplistlink\">" + root_shown + "</a> / <a href=\""), std::string::npos);
      EXPECT_NE(deepest.find("class=\"toplistlink\">" + shown + "</a> / "), std::string::npos);
    }
  }
}

TEST(HostileNamesEndToEnd, TidyFindsNoErrorOnAnyPage) {
  if (run_tool({"tidy", "-v"}) == 127) {
    if (in_ci()) FAIL() << "tidy is not installed";
    GTEST_SKIP() << "tidy is not installed: the pages are not validated";
  }
  hostile_tree tree;
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string output = tree.scratch / ("out put &<>\"'\\" + std::to_string(&variant - thread_variants.data()));
    ASSERT_EQ(run_quern({with_variant(variant, {"-o", output, "-r", tree.root})}).exit_status, 0);
    for (const std::string& file : list_directory(output)) {
      // 1 is for warnings, such as the tables without a summary.
      if (file.ends_with(".html")) {
        EXPECT_LE(run_tool({"tidy", "-errors", "-q", output + "/" + file}), 1) << file;
      }
    }
  }
}

}  // namespace
}  // namespace quern_test
