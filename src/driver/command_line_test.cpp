#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <vector>

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
  int settings::*flags[] = {&settings::display_row_size,  &settings::display_row_subdirs, &settings::display_row_files,
                            &settings::display_row_symlinks, &settings::display_row_devices, &settings::sort_row_size,
                            &settings::sort_row_subdirs,  &settings::sort_row_files,      &settings::sort_row_symlinks,
                            &settings::sort_row_devices};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(line.config.*flags[i], 1);
    const command_line one = read({"-v", names[i], "-v", "-o", "o", "-r", "r", "-v", names[i]});
    ASSERT_EQ(one.result, command_line::outcome::run) << names[i];
    EXPECT_EQ(one.config.debug, 3);
    for (size_t j = 0; j < 10; ++j) EXPECT_EQ(one.config.*flags[j], i == j ? 0 : 1) << names[i] << " " << j;
  }
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
}

}  // namespace
}  // namespace quern
