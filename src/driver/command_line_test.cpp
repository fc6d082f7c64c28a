#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace quern {
namespace {

command_line read(std::vector<const char*> arguments, bool links_and_devices = true) {
  arguments.insert(arguments.begin(), "quern");
  return read_command_line(static_cast<int>(arguments.size()), arguments.data(), links_and_devices);
}

void expect_mistake(const command_line& line, const std::string& message) {
  EXPECT_EQ(line.result, command_line::outcome::mistake);
  EXPECT_EQ(line.message, message);
}

TEST(CommandLine, OutputIsCheckedBeforeRoot) {
  expect_mistake(read({}), "Outputdirectory fehlt");
  expect_mistake(read({"-r", "root"}), "Outputdirectory fehlt");
  expect_mistake(read({"-o", "out"}), "Rootdirectory fehlt");
  expect_mistake(read({"-r", "root", "-o"}), "Outputdirectory fehlt");
  expect_mistake(read({"-o", "out", "-r"}), "Rootdirectory fehlt");
}

TEST(CommandLine, ValuesAreTakenWhateverTheyLookLike) {
  const command_line line = read({"-o", "-v", "-r", "-h", "-o", "second"});
  ASSERT_EQ(line.result, command_line::outcome::run);
  EXPECT_EQ(line.config.outputdirectory, "second");
  EXPECT_EQ(line.config.rootdirectory, "-h");
  EXPECT_EQ(line.config.debug, 0);
}

TEST(CommandLine, FirstHelpOrUnknownArgumentEndsTheReading) {
  EXPECT_EQ(read({"-h", "--bogus"}).result, command_line::outcome::help);
  EXPECT_EQ(read({"-o", "out", "-r", "root", "-h"}).result, command_line::outcome::help);
  expect_mistake(read({"--bogus", "-h"}), "Unbekannte Option \"--bogus\"");
  expect_mistake(read({"-vv", "-o", "out", "-r", "root"}), "Unbekannte Option \"-vv\"");
  expect_mistake(read({"-o", "out", "-r", "root", "-ndsx"}), "Unbekannte Option \"-ndsx\"");
  expect_mistake(read({"-o", "out", "root"}), "Unbekannte Option \"root\"");
  expect_mistake(read({"-o", "out", "-r", "root", ""}), "Unbekannte Option \"\"");
}

TEST(CommandLine, LongUnknownArgumentIsQuotedWhole) {
  const std::string huge(100000, 'x');
  expect_mistake(read({huge.c_str()}), "Unbekannte Option \"" + huge + "\"");
}

TEST(CommandLine, VerbosityAndEachSwitchClearOnlyTheirOwnFlag) {
  const command_line defaults = read({"-o", "o", "-r", "r"});
  const char* names[] = {"-nds", "-ndc", "-ndf", "-ndy", "-ndd", "-nss", "-nsc", "-nsf", "-nsy", "-nsd"};
  int settings::*flags[] = {&settings::display_row_size,  &settings::display_row_subdirs, &settings::display_row_files,
                            &settings::display_row_symlinks, &settings::display_row_devices, &settings::sort_row_size,
                            &settings::sort_row_subdirs,  &settings::sort_row_files,      &settings::sort_row_symlinks,
                            &settings::sort_row_devices};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(defaults.config.*flags[i], 1);
    const command_line line = read({"-v", names[i], "-v", "-o", "o", "-r", "r", "-v", names[i]});
    ASSERT_EQ(line.result, command_line::outcome::run) << names[i];
    EXPECT_EQ(line.config.debug, 3);
    for (size_t j = 0; j < 10; ++j) EXPECT_EQ(line.config.*flags[j], i == j ? 0 : 1) << names[i] << " " << j;
  }
}

TEST(CommandLine, PlatformWithoutLinksStartsWithTheirColumnsOff) {
  const command_line line = read({"-o", "o", "-r", "r", "-ndy"}, false);
  EXPECT_EQ(line.config.display_row_symlinks, 0);
  EXPECT_EQ(line.config.display_row_devices, 0);
  EXPECT_EQ(line.config.sort_row_symlinks, 1);
}

TEST(Usage, FullHelpIsExact) {
  EXPECT_EQ(usage_text("./quern", nullptr, true),
            "./quern [-h] [-v]... [-n{s|d}{s|c|f|y|d}]... -o <dir> -r <root>\r\n"
            "Quern Version 0.0.9\r\n"
            " -h             Diese Hilfe\r\n"
            " -v ...         Debugmeldungen auf stderr\r\n"
            " -o <dir>       Ausgabeverzeichnis\r\n"
            " -r <root>      Das Verzeichnis zum scannen\r\n"
            " -nd{s|c|f|y|d} No Display Switch\r\n"
            "                -nds Anzahl Bytes werden nicht angezeigt\r\n"
            "                -ndc Anzahl Subdirectorys werden nicht angezeigt\r\n"
            "                -ndf Anzahl Files werden nicht angezeigt\r\n"
            "                -ndy Anzahl Symlinks werden nicht angezeigt\r\n"
            "                -ndd Anzahl Devicefiles werden nicht angezeigt\r\n"
            " -ns{s|c|f|y|d} No Sort Switch\r\n"
            "                -nss Anzahl Bytes werden nicht sortiert\r\n"
            "                -nsc Anzahl Subdirectorys werden nicht sortiert\r\n"
            "                -nsf Anzahl Files werden nicht sortiert\r\n"
            "                -nsy Anzahl Symlinks werden nicht sortiert\r\n"
            "                -nsd Anzahl Devicefiles werden nicht sortiert\r\n");
}

TEST(Usage, MessageTakesThePlaceOfTheHelp) {
  const std::string message = "Rootdirectory fehlt";
  EXPECT_EQ(usage_text("q", &message, true),
            "q [-h] [-v]... [-n{s|d}{s|c|f|y|d}]... -o <dir> -r <root>\r\nQuern Version 0.0.9\r\nRootdirectory fehlt\r\n");
}

TEST(Usage, PlatformWithoutLinksLeavesOutTheirFourLines) {
  const std::string help = usage_text("q", nullptr, false);
  EXPECT_EQ(help.find("-ndy Anzahl"), std::string::npos);
  EXPECT_EQ(help.find("-nsd Anzahl"), std::string::npos);
  EXPECT_NE(help.find(" -nd{s|c|f|y|d} No Display Switch\r\n"), std::string::npos);
  size_t lines = 0;
  for (char c : help) lines += c == '\n';
  EXPECT_EQ(lines, 2u + 12u);
}

}  // namespace
}  // namespace quern
