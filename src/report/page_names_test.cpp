#include "report/page_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

namespace quern {
namespace {

const figure* const kOrders[] = {&kFigures[kBytes], &kFigures[kSubdirs], &kFigures[kFiles],
                                 &kFigures[kLinks], &kFigures[kOthers],  nullptr};

TEST(PageNames, NamesKeepTheirFormAndKeysTheirPlace) {
  directory_node node;
  node.set_id(17);
  std::string name = "out/";
  EXPECT_EQ(append_page_name(name, &node, page_key(kOrders[0])), std::string("out/d17_").size());
  EXPECT_EQ(name, "out/d17_sb.html");
  std::set<std::string_view> keys{kGrowthPageKey};
  EXPECT_TRUE(is_page_key(kGrowthPageKey));
  for (const figure* by : kOrders) {
    EXPECT_TRUE(is_page_key(page_key(by))) << page_key(by);
    keys.insert(page_key(by));
  }
  EXPECT_EQ(keys.size(), std::size(kOrders) + 1);
}

// The scan passes over exactly what the report writes into its directory
// while the scan goes on: every page, and nothing a page is not.
TEST(PageNames, EveryPageNameFormedIsRecognisedAndNearMissesAreNot) {
  for (const uint64_t id : {uint64_t{1}, uint64_t{9}, uint64_t{10}, uint64_t{4096}, (uint64_t{1} << 48) - 1}) {
    directory_node node;
    node.set_id(id);
    for (const figure* by : kOrders) {
      std::string name;
      const size_t key = append_page_name(name, &node, page_key(by));
      EXPECT_TRUE(is_page_name(name)) << name;
      EXPECT_EQ(name.substr(key, kPageKeyLength), page_key(by));
    }
  }
  // The pages by change, and those of orders added later, have keys of the
  // same form.
  EXPECT_TRUE(is_page_name("d1_" + std::string(kGrowthPageKey) + ".html"));
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
                            "d9223372036854775808_sb.html"})
    EXPECT_FALSE(is_page_name(other)) << other;
}

}  // namespace
}  // namespace quern
