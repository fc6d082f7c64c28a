#include "base/progress.h"

#include <gtest/gtest.h>

#include "support/files.h"

namespace quern {
namespace {

using namespace std::chrono_literals;
using quern_test::temporary_file;

progress_line::clock::time_point g_now;
progress_line::clock::time_point fake_now() { return g_now; }
int eighty_columns(int) { return 80; }

std::string blanks(size_t count) { return "\r" + std::string(count, ' ') + "\r"; }

TEST(ProgressLine, DrawsAtOnceThenAtMostEveryTenthOfASecondWithTheFiguresSoFar) {
  const temporary_file file;
  {
    progress_line line;
    line.directory_scanned(5, byte_total(5));  // not shown yet: nothing counted, nothing drawn
    line.show_on(file.descriptor(), eighty_columns, fake_now);
    line.directory_scanned(3, byte_total(1234));
    const std::string first = "\rScan: Verzeichnisse 1, Eintraege 3, Bytes 1.234";
    EXPECT_EQ(file.text(), first);

    g_now += 99ms;
    line.directory_scanned(1000, byte_total(5000000000));
    EXPECT_EQ(file.text(), first);
    g_now += 1ms;
    line.directory_scanned(0, byte_total(0));
    const std::string second = "\rScan: Verzeichnisse 3, Eintraege 1.003, Bytes 5.000.001.234";
    EXPECT_EQ(file.text(), first + second);

    // A shorter line first clears what the longer one left.
    line.begin_pages(1200);
    g_now += 100ms;
    line.pages_written(1);
    const std::string pages = blanks(second.size() - 1) + "\rHTML: Seiten 1 von 1.200";
    EXPECT_EQ(file.text(), first + second + pages);

    line.begin_pages(0);
    g_now += 150ms;
    line.pages_written(1);
    EXPECT_EQ(file.text(), first + second + pages + blanks(24) + "\rHTML: Seiten 2");
  }
  // Gone when the run ends.
  EXPECT_EQ(file.text(),
            "\rScan: Verzeichnisse 1, Eintraege 3, Bytes 1.234"
            "\rScan: Verzeichnisse 3, Eintraege 1.003, Bytes 5.000.001.234" +
                blanks(59) + "\rHTML: Seiten 1 von 1.200" + blanks(24) + "\rHTML: Seiten 2" + blanks(14));
}

}  // namespace
}  // namespace quern
