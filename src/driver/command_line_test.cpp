#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/file_system.h"
#include "platform/user_names.h"

namespace quern {
namespace {

command_line read(const std::vector<std::string>& arguments, bool links_and_devices = true) {
  std::vector<const char*> argv = {"quern"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return read_command_line(static_cast<int>(argv.size()), argv.data(), links_and_devices);
}

// Mistakes and help are read in order by the end-to-end tests.
TEST(CommandLine, ValuesAreTakenLiterallyAndVerbosityAndEachSwitchClearOnlyTheirOwnFlag) {
  const command_line line = read({"-o", "-v", "-r", "-h", "-o", "second"});
  ASSERT_EQ(line.result, command_line::outcome::run);
  EXPECT_EQ(line.config.outputdirectory, "second");
  EXPECT_EQ(line.config.rootdirectory, "-h");
  EXPECT_EQ(line.config.debug, 0);

  const char* names[] = {"-nds", "-ndc", "-ndf", "-ndy", "-ndd", "-nss", "-nsc", "-nsf", "-nsy", "-nsd"};
  int settings::*flags[] = {&settings::display_row_size,    &settings::display_row_subdirs,
                            &settings::display_row_files,   &settings::display_row_symlinks,
                            &settings::display_row_devices, &settings::sort_row_size,
                            &settings::sort_row_subdirs,    &settings::sort_row_files,
                            &settings::sort_row_symlinks,   &settings::sort_row_devices};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(line.config.*flags[i], 1);
    const command_line one = read({"-v", names[i], "-v", "-o", "o", "-r", "r", "-v", names[i]});
    ASSERT_EQ(one.result, command_line::outcome::run) << names[i];
    EXPECT_EQ(one.config.debug, 3);
    for (size_t j = 0; j < 10; ++j) EXPECT_EQ(one.config.*flags[j], i == j ? 0 : 1) << names[i] << " " << j;
  }
}

TEST(CommandLine, ThreadCountIsTheNextArgumentInDecimalFromOneTo256) {
  EXPECT_EQ(read({"-o", "o", "-r", "r"}).config.jobs, 0);  // the run chooses
  for (const auto& [text, jobs] :
       {std::pair{"1", 1}, {"256", 256}, {"007", 7}, {"16", 16}, {"000000000000000000000256", 256}}) {
    const command_line line = read({"-j", text, "-o", "o", "-r", "r"});
    ASSERT_EQ(line.result, command_line::outcome::run) << text;
    EXPECT_EQ(line.config.jobs, jobs);
  }
  EXPECT_EQ(read({"-j", "2", "-j", "3", "-o", "o", "-r", "r"}).config.jobs, 3);
  for (const char* bad : {"0", "257", "", "-1", "+4", "4x", " 4", "1e2", "99999999999999999999", "-o"}) {
    const command_line line = read({"-o", "o", "-j", bad, "-r", "r"});
    EXPECT_EQ(line.result, command_line::outcome::mistake) << bad;
    EXPECT_EQ(line.message, std::string("Ungueltige Threadanzahl \"") + bad + "\"");
  }
  const command_line last = read({"-o", "o", "-r", "r", "-j"});
  EXPECT_EQ(last.message, "Threadanzahl fehlt");
  // Checked when met: a later mistake is not looked at.
  EXPECT_EQ(read({"-j", "0", "-q"}).message, "Ungueltige Threadanzahl \"0\"");
  EXPECT_EQ(read({"-j4", "-o", "o", "-r", "r"}).message, "Unbekannte Option \"-j4\"");
  EXPECT_EQ(read({"--jobs=4", "-o", "o", "-r", "r"}).message, "Unbekannte Option \"--jobs=4\"");
}

TEST(CommandLine, ScanFlagsAreOffUnlessNamedWhole) {
  const command_line plain = read({"-o", "o", "-r", "r"});
  EXPECT_FALSE(plain.config.one_file_system);
  EXPECT_FALSE(plain.config.hard_links_once);
  EXPECT_TRUE(plain.config.show_progress);
  for (const char* name : {"-x", "--one-file-system"}) {
    const command_line line = read({"-o", "o", name, "-r", "r"});
    EXPECT_TRUE(line.config.one_file_system) << name;
    EXPECT_FALSE(line.config.hard_links_once) << name;
  }
  const command_line once = read({"--hard-links-once", "--no-progress", "-o", "o", "-r", "r"});
  EXPECT_TRUE(once.config.hard_links_once);
  EXPECT_FALSE(once.config.one_file_system);
  EXPECT_FALSE(once.config.show_progress);
  for (const char* unknown : {"-X", "--one-file-system=1", "--hard-links", "-xj"})
    EXPECT_EQ(read({unknown, "-o", "o", "-r", "r"}).message, std::string("Unbekannte Option \"") + unknown + "\"");
}

TEST(CommandLine, PlatformWithoutLinksHasTheirColumnsOffAndTheirHelpLinesLeftOut) {
  const command_line line = read({"-o", "o", "-r", "r", "-ndy"}, false);
  EXPECT_EQ(line.config.display_row_symlinks, 0);
  EXPECT_EQ(line.config.display_row_devices, 0);
  EXPECT_EQ(line.config.sort_row_symlinks, 1);

  std::string expected = usage_text("q", nullptr, true);
  for (const std::string gone : {"-ndy", "-ndd", "-nsy", "-nsd"}) {
    const size_t at = expected.find("                " + gone);
    ASSERT_NE(at, std::string::npos);
    expected.erase(at, expected.find('\n', at) + 1 - at);
  }
  EXPECT_EQ(usage_text("q", nullptr, false), expected);
}

TEST(CommandLine, ListingOptionsTakeTheNextArgumentAndTheLastOneGivenCounts) {
  const command_line line = read({"--listing", "a", "--listing-lines", "-o", "-o", "o", "-r", "r"});
  ASSERT_TRUE(line.config.listing.has_value());
  EXPECT_EQ(line.config.listing->path, "-o");
  EXPECT_EQ(line.config.listing->terminator, '\n');
  EXPECT_EQ(read({"--listing", "-", "-o", "o", "-r", "r"}).config.listing->terminator, '\0');
  EXPECT_FALSE(read({"-o", "o", "-r", "r"}).config.listing.has_value());
  for (const char* option : {"--listing", "--listing-lines"})
    EXPECT_EQ(read({"-o", "o", "-r", "r", option}).message, "Listendatei fehlt");
  EXPECT_EQ(read({"--listing=l", "-o", "o", "-r", "r"}).message, "Unbekannte Option \"--listing=l\"");

  // What a listing cannot tell rules it out, whichever comes first; the
  // first such option given is named.
  EXPECT_EQ(read({"-x", "--listing", "l", "--hard-links-once", "-o", "o", "-r", "r"}).message,
            "Option \"-x\" nicht mit Listendatei moeglich");
  EXPECT_EQ(read({"--listing-lines", "l", "-o", "o", "-r", "r", "--hard-links-once"}).message,
            "Option \"--hard-links-once\" nicht mit Listendatei moeglich");
  EXPECT_EQ(read({"--one-file-system", "--listing", "l", "-o", "o", "-r", "r"}).message,
            "Option \"--one-file-system\" nicht mit Listendatei moeglich");
  EXPECT_EQ(read({"--listing", "l", "-j", "4", "--no-progress", "-o", "o", "-r", "r"}).result,
            command_line::outcome::run);
}

// Told once every argument is read, in this order: a missing -o, a missing
// -r, what a listing rules out, what the platform cannot do.
TEST(CommandLine, RulesBetweenOptionsFollowTheReadingInTheirOrder) {
  EXPECT_EQ(read({"--hard-links-once", "--listing", "l"}).message, "Outputdirectory fehlt");
  EXPECT_EQ(read({"-x", "--listing", "l", "-o", "o"}).message, "Rootdirectory fehlt");
  EXPECT_EQ(read({"--hard-links-once", "--listing", "l", "-o", "o", "-r", "r"}).message,
            "Option \"--hard-links-once\" nicht mit Listendatei moeglich");
  const command_line once = read({"-o", "o", "-r", "r", "--hard-links-once"});
  if (platform_counts_hard_links()) {
    EXPECT_EQ(once.result, command_line::outcome::run);
  } else {
    EXPECT_EQ(once.message, "Option \"--hard-links-once\" ist auf dieser Plattform nicht moeglich");
  }
  // Owners come from a listing on every platform, from a scan where the
  // platform tells them.
  const command_line owners = read({"--owners", "-o", "o", "-r", "r"});
  if (platform_knows_owners()) {
    EXPECT_TRUE(owners.config.owners);
  } else {
    EXPECT_EQ(owners.message, "Option \"--owners\" ist auf dieser Plattform nicht moeglich");
  }
  const command_line listed = read({"--owners", "--listing", "l", "-o", "o", "-r", "r"});
  ASSERT_EQ(listed.result, command_line::outcome::run);
  EXPECT_TRUE(listed.config.owners);
  EXPECT_FALSE(read({"-o", "o", "-r", "r"}).config.owners);
}

TEST(CommandLine, CapsTakeADepthOrASizeWithAPowerOf1024AndNothingBeyondTheirRange) {
  const std::pair<const char*, uint64_t> depths[] = {{"0", 0}, {"007", 7}, {"4294967295", 4294967295u}};
  for (const auto& [text, depth] : depths)
    EXPECT_EQ(read({"--depth", text, "-o", "o", "-r", "r"}).config.page_depth, depth);
  for (const char* bad : {"", "-1", "+1", "1.5", "2k", "4294967296", " 1"})
    EXPECT_EQ(read({"--depth", bad, "-o", "o", "-r", "r"}).message, std::string("Ungueltige Tiefe \"") + bad + "\"");
  EXPECT_EQ(read({"-o", "o", "-r", "r", "--depth"}).message, "Tiefe fehlt");

  const std::pair<const char*, uint64_t> sizes[] = {{"0", 0},
                                                    {"1k", 1024},
                                                    {"10G", uint64_t{10} << 30},
                                                    {"3t", uint64_t{3} << 40},
                                                    {"16383P", uint64_t{16383} << 50},
                                                    {"18446744073709551615", UINT64_MAX}};
  for (const auto& [text, bytes] : sizes)
    EXPECT_EQ(read({"--min-size", text, "-o", "o", "-r", "r"}).config.page_min_size, byte_total(bytes)) << text;
  for (const char* bad : {"", "K", "1KB", "1E", "-1", "1 K", "16384P", "18446744073709551616", "99999999999999999999K"})
    EXPECT_EQ(read({"--min-size", bad, "-o", "o", "-r", "r"}).message,
              std::string("Ungueltige Groesse \"") + bad + "\"");
  EXPECT_EQ(read({"-o", "o", "-r", "r", "--min-size"}).message, "Groesse fehlt");
  // Both work with a listing.
  EXPECT_EQ(read({"--listing", "l", "--depth", "1", "--min-size", "1M", "-o", "o", "-r", "r"}).result,
            command_line::outcome::run);
}

// The summaries name the caps as they were given, and take their files
// literally; the last of each counts.
TEST(CommandLine, SummaryAndComparisonOptionsKeepTheirValuesAsGiven) {
  const command_line plain = read({"-o", "o", "-r", "r"});
  EXPECT_TRUE(plain.config.report_summary);
  EXPECT_FALSE(plain.config.full_summary);
  EXPECT_FALSE(plain.config.compare);
  const command_line line = read({"--depth", "03", "--min-size", "1k", "--summary", "-v", "--compare", "a", "--compare",
                                  "--no-summary", "--no-summary", "-o", "o", "-r", "r"});
  ASSERT_EQ(line.result, command_line::outcome::run) << line.message;
  EXPECT_EQ(line.config.page_depth_given, "03");
  EXPECT_EQ(line.config.page_min_size_given, "1k");
  EXPECT_EQ(line.config.full_summary, "-v");
  EXPECT_EQ(line.config.compare, "--no-summary");
  EXPECT_FALSE(line.config.report_summary);
  EXPECT_EQ(line.config.debug, 0);
  EXPECT_EQ(read({"-o", "o", "-r", "r", "--summary"}).message, "Zusammenfassungsdatei fehlt");
  EXPECT_EQ(read({"-o", "o", "-r", "r", "--compare"}).message, "Vergleichsbericht fehlt");
  // A listing is compared and summarised as a scan is.
  EXPECT_EQ(read({"--listing", "l", "--summary", "s", "--compare", "c", "-o", "o", "-r", "r"}).result,
            command_line::outcome::run);
}

TEST(CommandLine, LongHelpIsTheShortOneAndALineForEveryFurtherSpelling) {
  const std::string further =
      " --help         Diese Hilfe mit allen Optionen auf stdout\r\n"
      " --version      Die Versionsnummer auf stdout\r\n"
      " -j <n>         Anzahl Threads, 1 bis 256 (Vorgabe nach Anzahl CPU-Kerne)\r\n"
      " --no-progress  Keine Fortschrittszeile auf dem Terminal\r\n"
      " -x             Verzeichnisse auf anderen Dateisystemen nicht betreten\r\n"
      " --one-file-system wie -x\r\n"
      " --hard-links-once Dateien mit mehreren Namen (harte Links) nur einmal zaehlen\r\n"
      " --depth <n>    Seiten nur fuer Verzeichnisse bis zu n Ebenen unter der Wurzel\r\n"
      " --min-size <size> Seiten nur fuer Verzeichnisse ab dieser Groesse in Bytes (K, M, G, T, P: 1024er-Potenzen)\r\n"
      " --owners       Bytes und Dateien je Eigentuemer zeigen (Liste: find -printf '%y %s %U %p\\0')\r\n"
      " --listing <file> Baum aus einer Liste lesen (find -printf '%y %s %p\\0'), - fuer stdin\r\n"
      " --listing-lines <file> wie --listing, Eintraege enden mit Zeilenende\r\n"
      " --no-summary   Keine Zusammenfassung summary.txt im Ausgabeverzeichnis\r\n"
      " --summary <file> Zusammenfassung aller Verzeichnisse in diese neue Datei schreiben\r\n"
      " --compare <old> Aenderungen seit einem frueheren Bericht (Verzeichnis oder Zusammenfassung) zeigen\r\n";
  for (const bool links_and_devices : {true, false})
    EXPECT_EQ(long_usage_text("q", links_and_devices), usage_text("q", nullptr, links_and_devices) + further);
}

}  // namespace
}  // namespace quern
