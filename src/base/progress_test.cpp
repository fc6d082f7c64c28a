#include "base/progress.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quern {
namespace {

using namespace std::chrono_literals;

progress_line::clock::time_point g_now;
progress_line::clock::time_point fake_now() { return g_now; }
int eighty_columns(int) { return 80; }

// Everything written so far; reading to the end leaves the next write to
// follow it.
std::string written(std::FILE* file) {
  std::rewind(file);
  std::string text(4096, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file));
  return text;
}

std::string blanks(size_t count) { return "\r" + std::string(count, ' ') + "\r"; }

TEST(ProgressLine, DrawsAtOnceThenAtMostEveryTenthOfASecondWithTheFiguresSoFar) {
  std::FILE* file = std::tmpfile();
  {
    progress_line line;
    line.directory_scanned(5, 5);  // not shown yet: nothing counted, nothing drawn
    line.show_on(::fileno(file), eighty_columns, fake_now);
    line.directory_scanned(3, 1234);
    const std::string first = "\rScan: Verzeichnisse 1, Eintraege 3, Bytes 1.234";
    EXPECT_EQ(written(file), first);

    g_now += 99ms;
    line.directory_scanned(1000, 5000000000);
    EXPECT_EQ(written(file), first);
    g_now += 1ms;
    line.directory_scanned(0, 0);
    const std::string second = "\rScan: Verzeichnisse 3, Eintraege 1.003, Bytes 5.000.001.234";
    EXPECT_EQ(written(file), first + second);

    // A shorter line first clears what the longer one left.
    line.begin_pages(1200);
    g_now += 100ms;
    line.pages_written(1);
    const std::string pages = blanks(second.size() - 1) + "\rHTML: Seiten 1 von 1.200";
    EXPECT_EQ(written(file), first + second + pages);

    line.begin_pages(0);
    g_now += 150ms;
    line.pages_written(1);
    EXPECT_EQ(written(file), first + second + pages + blanks(24) + "\rHTML: Seiten 2");
  }
  // Gone when the run ends.
  EXPECT_EQ(written(file),
            "\rScan: Verzeichnisse 1, Eintraege 3, Bytes 1.234"
            "\rScan: Verzeichnisse 3, Eintraege 1.003, Bytes 5.000.001.234" +
                blanks(59) + "\rHTML: Seiten 1 von 1.200" + blanks(24) + "\rHTML: Seiten 2" + blanks(14));
  std::fclose(file);
}

}  // namespace
}  // namespace quern
