#include "report/summary_format.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/diagnostics.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

TEST(SummaryFormat, TimesAreUtcInTheirOneForm) {
  EXPECT_EQ(summary_time(0), "1970-01-01T00:00:00Z");
  EXPECT_EQ(summary_time(1796634991), "2026-12-07T09:16:31Z");
  EXPECT_EQ(summary_time(951868799), "2000-02-29T23:59:59Z");
  EXPECT_EQ(summary_time(4107542400), "2100-03-01T00:00:00Z");
  EXPECT_EQ(summary_time(-1), "1969-12-31T23:59:59Z");
  EXPECT_TRUE(is_summary_time("2026-12-07T09:16:31Z"));
  for (const char* other : {"", "2026-12-07 09:16:31Z", "2026-12-07T09:16:31", "2026-12-07T09:16:31+01:00",
                            "26-12-07T09:16:31Z", "2026-12-07T09:16:3xZ"}) {
    EXPECT_FALSE(is_summary_time(other)) << other;
  }
}

TEST(SummaryFormat, GapsFiguresAndLinesHaveOneSpellingEach) {
  for (uint8_t gaps = 0; gaps < 8; ++gaps) {
    std::string letters;
    append_gap_letters(letters, gaps);
    uint8_t back = 0xff;
    EXPECT_TRUE(parse_gap_letters(letters, back)) << letters;
    EXPECT_EQ(back, gaps) << letters;
  }
  std::string all;
  append_gap_letters(all, kGapUnread | kGapNotEntered | kGapBelow);
  EXPECT_EQ(all, "uxb");
  uint8_t gaps = 0;
  for (const char* other : {"", "bu", "uu", "-u", "u-", "U", "q", "--"}) EXPECT_FALSE(parse_gap_letters(other, gaps));

  int64_t count = -1;
  EXPECT_TRUE(parse_count("0", count) && count == 0);
  EXPECT_TRUE(parse_count("9223372036854775807", count) && count == INT64_MAX);
  for (const char* other : {"", "01", "-1", "+1", "1a", "9223372036854775808", "99999999999999999999"})
    EXPECT_FALSE(parse_count(other, count)) << other;
  byte_total bytes;
  EXPECT_TRUE(parse_bytes("340282366920938463463374607431768211455", bytes));
  EXPECT_EQ(bytes, byte_total::from_words(~uint64_t{0}, ~uint64_t{0}));
  EXPECT_FALSE(parse_bytes("00", bytes));

  diagnostics diag(verbosity::quiet, -1);
  directory_tree tree(diag);
  directory_node* root = quern_test::add_node(tree, nullptr, "/r");
  directory_node* child = quern_test::add_node(tree, root, "c");
  child->files = 2;
  child->size = byte_total::from_words(1, 5);
  child->symlinks = 3;
  child->devices = 4;
  child->gaps = kGapUnread | kGapBelow;
  root->recurfiles = 2;
  root->recursize = child->size;
  root->recursymlinks = 3;
  root->recurdevices = 4;
  root->files = 1;
  std::string text;
  append_summary_header(text, {"/r\t", "2026-12-07T09:16:31Z", "scan", "--depth 3", "report"});
  append_summary_line(text, ".", figures_of(*root, true));
  append_summary_line(text, "c", figures_of(*child, false));
  append_summary_end(text, 2);
  EXPECT_EQ(text,
            "#quern-summary 1\n#root\t/r\\t\n#begun\t2026-12-07T09:16:31Z\n#source\tscan\n#options\t--depth 3\n"
            "#scope\treport\n"
            "path\tbytes\town_bytes\tfiles\town_files\tsubdirs\town_subdirs\tlinks\town_links\tothers\town_others\t"
            "gaps\tlisted\n"
            ".\t18446744073709551621\t0\t3\t1\t1\t1\t3\t0\t4\t0\t-\t1\n"
            "c\t18446744073709551621\t18446744073709551621\t2\t2\t0\t0\t3\t3\t4\t4\tub\t0\n"
            "#end\t2\n");
}

std::string owners_value(std::vector<summary_owner> owners) {
  std::string out;
  append_summary_owners(out, owners);
  return out;
}

TEST(SummaryOwners, MostBytesFirstTiesByNameAndOwnersOfOneNameAreOne) {
  EXPECT_EQ(owners_value({}), "");
  EXPECT_EQ(owners_value({{"bob", byte_total(5), 1},
                          {"al", byte_total(5), 2},
                          {"cy", byte_total(9), 3},
                          {"bob", byte_total(7), 0},
                          {"zed", byte_total(0), 0}}),
            "bob=12/1,cy=9/3,al=5/2,zed=0/0");
  // Beyond 64 bits, and the characters that split the value within names.
  const byte_total huge = byte_total(UINT64_MAX) + byte_total(1);
  EXPECT_EQ(owners_value({{"a=b,c/d\\e#\t", huge, 1}}), "a\\x3db\\x2cc\\x2fd\\\\e\\x23\\t=18446744073709551616/1");
}

}  // namespace
}  // namespace quern
