#include "report/page_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

namespace quern {
namespace {

// The pages of a directory: one per figure, by growth and by name.
std::vector<std::string_view> page_keys() {
  std::vector<std::string_view> keys{kGrowthPageKey, kNamePageKey};
  for (const figure& f : kFigures) keys.push_back(f.page_key);
  return keys;
}

TEST(PageNames, NamesKeepTheirFormAndKeysTheirPlace) {
  directory_node node;
  node.set_id(17);
  std::string name = "out/";
  EXPECT_EQ(append_page_name(name, &node, kFigures[kBytes].page_key), std::string("out/d17_").size());
  EXPECT_EQ(name, "out/d17_sb.html");
  const std::vector<std::string_view> keys = page_keys();
  for (const std::string_view key : keys) EXPECT_TRUE(is_page_key(key)) << key;
  EXPECT_EQ(std::set<std::string_view>(keys.begin(), keys.end()).size(), keys.size());
}

// The scan passes over exactly what the report writes into its directory
// while the scan goes on: every page and picture, and nothing else.
TEST(PageNames, EveryPageNameFormedIsRecognisedAndNearMissesAreNot) {
  for (const uint64_t id : {uint64_t{1}, uint64_t{9}, uint64_t{10}, uint64_t{4096}, (uint64_t{1} << 48) - 1}) {
    directory_node node;
    node.set_id(id);
    for (const std::string_view by : page_keys()) {
      std::string name;
      const size_t key = append_page_name(name, &node, by);
      EXPECT_TRUE(is_page_name(name)) << name;
      EXPECT_EQ(name.substr(key, kPageKeyLength), by);
    }
    std::string picture;
    append_picture_name(picture, &node);
    EXPECT_TRUE(is_page_name(picture)) << picture;
  }
  // The pages of orders added later have keys of the same form.
  EXPECT_TRUE(is_page_name("d1_sz.html"));
  for (const char* other : {"",
                            "styles.css",
                            "index.html",
                            "d_sb.html",
                            "dx_sb.html",
                            "d0_sb.html",
                            "d01_sb.html",
                            "d-1_sb.html",
                            "D1_sb.html",
                            "e1_sb.html",
                            " d1_sb.html",
                            "d1sb.html",
                            "d1-sb.html",
                            "d1__sb.html",
                            "d1_sB.html",
                            "d1_Sb.html",
                            "d1_xb.html",
                            "d1_s1.html",
                            "d1_s.html",
                            "d1_sbb.html",
                            "d1_sb.htm",
                            "d1_sb.HTML",
                            "d1_sb.html~",
                            "d1_sb.html.tmp",
                            "d1_sb",
                            "d1_sb .html",
                            "d1.SVG",
                            "d1_sb.svg",
                            "d01.svg",
                            "d9223372036854775808_sb.html"})
    EXPECT_FALSE(is_page_name(other)) << other;
}

}  // namespace
}  // namespace quern
