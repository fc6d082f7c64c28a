#include "report/old_summary.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_file_system.h"

namespace quern {
namespace {

const std::string kHeader =
    "#quern-summary 1\n#root\t/r\\tx\n#begun\t2026-12-07T09:16:31Z\n#source\tlisting\n#options\t-x --depth 2\n"
    "#scope\tfull\n";
const std::string kColumns =
    "path\tbytes\town_bytes\tfiles\town_files\tsubdirs\town_subdirs\tlinks\town_links\tothers\town_others\tgaps\t"
    "listed\n";

// A directory line with these bytes and files in all and the rest zero.
std::string line(const std::string& path, const std::string& bytes = "1", const std::string& files = "0",
                 const std::string& gaps = "-", const std::string& listed = "1") {
  return path + "\t" + bytes + "\t0\t" + files + "\t0\t0\t0\t0\t0\t0\t0\t" + gaps + "\t" + listed + "\n";
}

// A whole summary of the lines, in the order given (here children first,
// as a full summary has them).
std::string summary(const std::vector<std::string>& lines) {
  std::string text = kHeader + kColumns;
  for (const std::string& l : lines) text += l;
  return text + "#end\t" + std::to_string(lines.size()) + "\n";
}

std::unique_ptr<old_summary> read(const std::string& text, std::string& message, size_t chunk = SIZE_MAX) {
  fake_file_system files;
  files.inputs["old"] = {text, chunk};
  return read_old_summary(files, "old", message);
}

// Later versions add columns and header lines; a reader finds its own by
// name, wherever they stand.
TEST(OldSummary, ColumnsAreFoundByNameAndThoseNotKnownPassedOver) {
  const std::string text =
      "#quern-summary 1\n#later\tanything\n#scope\treport\n#options\t\n#source\tscan\n"
      "#begun\t2026-12-07T09:16:31Z\n#root\t/r\n#another\n"
      "owner\tlisted\tgaps\town_others\tothers\town_links\tlinks\town_subdirs\tsubdirs\t"
      "own_files\tfiles\town_bytes\tbytes\tpath\textra\n"
      "\x01\t1\tx\t9\t10\t7\t8\t5\t6\t3\t4\t1\t2\t.\t\xff#\\\n"
      "#end\t1\n";
  std::string message;
  const std::unique_ptr<old_summary> old = read(text, message);
  ASSERT_NE(old, nullptr) << message;
  const summary_figures figures = old->figures(old->find("."));
  // Each figure's own count and total by its column's name, wherever it stands.
  const std::pair<figure_index, uint64_t> own[] = {{kBytes, 1}, {kFiles, 3}, {kSubdirs, 5}, {kLinks, 7}, {kOthers, 9}};
  for (const auto& [index, value] : own) {
    EXPECT_EQ(figures.own[index], byte_total(value)) << kFigures[index].name;
    EXPECT_EQ(figures.total[index], byte_total(value + 1)) << kFigures[index].name;
  }
  EXPECT_EQ(figures.gaps, kGapNotEntered);
  EXPECT_TRUE(figures.listed);
}

// Each rejection names the file and the line, never what the line holds.
TEST(OldSummary, EveryRejectionNamesTheLineAndNothingIsTakenFromADamagedSummary) {
  const std::string valid = summary({line("a"), line(".")});
  const std::string secret = "SECRET";
  const auto header_with = [&](const std::string& from, const std::string& to) {
    std::string text = valid;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::pair<std::string, std::string> cases[] = {
      {"", "1: keine Zusammenfassung"},
      {"<html>" + secret + "\n", "1: keine Zusammenfassung"},
      {"#quern-summary", "1: keine Zusammenfassung"},
      {"#quern-summary 2\n" + secret, "1: unbekannte Formatversion"},
      {"#quern-summary 10\n", "1: unbekannte Formatversion"},
      {"#quern-summary 1", "1: Schlusszeile fehlt"},
      {"#quern-summary 1\n", "1: Schlusszeile fehlt"},
      {header_with("#begun\t2026-12-07T09:16:31Z\n", ""), "6: Format fehlerhaft"},
      {header_with("2026-12-07T09:16:31Z", secret), "3: Format fehlerhaft"},
      {header_with("#root\t/r\\tx", "#root\t/r\tx"), "2: Format fehlerhaft"},
      {header_with("#source\tlisting", "#source\tguess"), "4: Format fehlerhaft"},
      {header_with("#scope\tfull\n", "#scope\tfull\n#scope\tfull\n"), "7: Format fehlerhaft"},
      {header_with("\tlisted\n", "\n"), "7: Format fehlerhaft"},
      {header_with("\tlisted\n", "\tlisted\tgaps\n"), "7: Format fehlerhaft"},
      {header_with("\tlisted\n", "\tlisted\t\n"), "7: Format fehlerhaft"},
      {summary({line("a", "1.000"), line(".")}), "8: Format fehlerhaft"},
      {summary({line("a", "01"), line(".")}), "8: Format fehlerhaft"},
      {summary({line("a", "1", "-1"), line(".")}), "8: Format fehlerhaft"},
      {summary({line("a", "1", "0", "q"), line(".")}), "8: Format fehlerhaft"},
      {summary({line("a", "1", "0", "-", "2"), line(".")}), "8: Format fehlerhaft"},
      {summary({line("."), "a\t1\n"}), "9: Format fehlerhaft"},
      {summary({line("."), line("a", "1" + secret)}), "9: Format fehlerhaft"},
      {summary({line("."), line("a").insert(line("a").size() - 1, "\t")}), "9: Format fehlerhaft"},
      {summary({line("."), line("a//b")}), "9: Format fehlerhaft"},
      {summary({line("."), line("a/..")}), "9: Format fehlerhaft"},
      {summary({line("."), line("./a")}), "9: Format fehlerhaft"},
      {summary({line("."), line("")}), "9: Format fehlerhaft"},
      {summary({line("."), line("\\x41")}), "9: Format fehlerhaft"},
      {summary({line("."), line("#" + secret)}), "9: Format fehlerhaft"},
      {summary({line("."), line("a"), line("a")}), "10: Verzeichnis doppelt aufgefuehrt"},
      {summary({line("."), line("a/b")}), "9: uebergeordnetes Verzeichnis fehlt"},
      {summary({line("a")}), "9: Wurzel fehlt"},
      {summary({}), "8: Wurzel fehlt"},
      {valid.substr(0, valid.rfind("#end")), "9: Schlusszeile fehlt"},
      {valid.substr(0, valid.size() - 3), "10: Schlusszeile fehlt"},
      {valid.substr(0, valid.size() - 20), "9: Schlusszeile fehlt"},
      {valid.substr(0, valid.size() - 1), "10: Schlusszeile fehlt"},
      {header_with("#end\t2", "#end\t3"), "10: Schlusszeile falsch"},
      {header_with("#end\t2", "#end\t02"), "10: Schlusszeile falsch"},
      {header_with("#end\t2", "#end"), "10: Schlusszeile falsch"},
      {header_with("#end\t2", "#ende\t2"), "10: Format fehlerhaft"},
      {valid + "\n", "11: Format fehlerhaft"},
      {valid + secret, "11: Format fehlerhaft"},
  };
  for (const auto& [text, expected] : cases) {
    std::string message;
    EXPECT_EQ(read(text, message, 5), nullptr) << expected;
    EXPECT_EQ(message, "Vergleich mit old nicht moeglich, Zeile " + expected + "\r\n");
    EXPECT_EQ(message.find(secret), std::string::npos);
  }
  std::string message;
  EXPECT_NE(read(valid, message), nullptr) << message;
}

// The owners column is there only in summaries of reports that show owners;
// its values are checked when the summary is taken, and parsed when asked.
TEST(OldSummary, OwnersAreAColumnOfTheirOwnCheckedAtOnceAndParsedWhenAsked) {
  std::string message;
  const std::unique_ptr<old_summary> without = read(summary({line("a"), line(".")}), message);
  ASSERT_NE(without, nullptr) << message;
  std::vector<summary_owner> owners{{"left over", byte_total(1), 1}};
  EXPECT_FALSE(without->header().owners);
  EXPECT_FALSE(without->owners(without->find("."), owners));
  EXPECT_TRUE(owners.empty());

  const auto with_owners = [](const std::vector<std::pair<std::string, std::string>>& lines) {
    std::string text = kHeader + "owners\t" + kColumns;
    for (const auto& [path, value] : lines) text += value + "\t" + line(path);
    return text + "#end\t" + std::to_string(lines.size()) + "\n";
  };
  const std::unique_ptr<old_summary> with =
      read(with_owners({{"a", "?"}, {"b", ""}, {".", "b\\x3d=7/2,a=1/0"}}), message, 3);
  ASSERT_NE(with, nullptr) << message;
  EXPECT_TRUE(with->header().owners);
  EXPECT_TRUE(with->owners(with->find("."), owners));
  EXPECT_EQ(owners, (std::vector<summary_owner>{{"b=", byte_total(7), 2}, {"a", byte_total(1), 0}}));
  EXPECT_FALSE(with->owners(with->find("a"), owners));
  EXPECT_TRUE(with->owners(with->find("b"), owners));
  EXPECT_TRUE(owners.empty());
  EXPECT_EQ(with->figures(with->find(".")).total[kFiles], byte_total(0));

  for (const char* bad : {"??", "a=1/1,", "a=1", "b=1/1,a=2/1", "a=1/1,a=0/1", "a,b=1/1", "\\x61=1/1"}) {
    EXPECT_EQ(read(with_owners({{".", ""}, {"a", bad}}), message), nullptr) << bad;
    EXPECT_EQ(message, "Vergleich mit old nicht moeglich, Zeile 9: Format fehlerhaft\r\n") << bad;
  }
  EXPECT_EQ(read(kHeader + "owners\towners\t" + kColumns + "\t\t" + line(".") + "#end\t1\n", message), nullptr);
  EXPECT_EQ(message, "Vergleich mit old nicht moeglich, Zeile 7: Format fehlerhaft\r\n");
}

TEST(OldSummary, AnOutputDirectoryIsReadThroughItsSummaryAndLongLinesAndFailuresAreMet) {
  fake_file_system files;
  files.add_directory("report/");
  std::string message;
  EXPECT_EQ(read_old_summary(files, "report/", message), nullptr);
  EXPECT_EQ(message, "Vergleich mit report/summary.txt nicht moeglich: No such file or directory\r\n");

  // A line far longer than one block of the reader.
  const std::string long_field(700 * 1024, 'q');
  std::string text = kHeader + kColumns.substr(0, kColumns.size() - 1) + "\tlater\n" +
                     line(".").insert(line(".").size() - 1, "\t" + long_field) + "#end\t1\n";
  files.inputs["report/summary.txt"] = {text, 4096};
  const std::unique_ptr<old_summary> old = read_old_summary(files, "report/", message);
  ASSERT_NE(old, nullptr) << message;
  EXPECT_TRUE(old->figures(old->find(".")).listed);

  files.inputs["report/summary.txt"].breaks_after = 300;
  files.inputs["report/summary.txt"].read_error = EIO;
  EXPECT_EQ(read_old_summary(files, "report", message), nullptr);
  EXPECT_EQ(message, "Vergleich mit report/summary.txt nicht moeglich: Input/output error\r\n");

  // Anything but a summary is given up at its first bytes, however long.
  files.inputs["big"] = {std::string(8 << 20, 'x'), 64 * 1024, 128 * 1024, EIO};
  EXPECT_EQ(read_old_summary(files, "big", message), nullptr);
  EXPECT_EQ(message, "Vergleich mit big nicht moeglich, Zeile 1: keine Zusammenfassung\r\n");
}

}  // namespace
}  // namespace quern
