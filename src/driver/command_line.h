#pragma once

#include <string>
#include <string_view>

#include "driver/option_table.h"
#include "driver/settings.h"

namespace quern {

struct command_line {
  using outcome = reading_outcome;
  outcome result = outcome::run;
  settings config;
  std::string message;  // what is wrong, for outcome::mistake
};

// Reads the arguments left to right, each matched as a whole against the
// option table; -h, --help, --version or an unknown argument ends the
// reading at once. The rules between options are checked once every
// argument is read.
// Without links and devices on the platform their columns start switched off.
command_line read_command_line(int argc, const char* const* argv, bool links_and_devices);

// The help: synopsis, version, then the message or, without one, the
// option lines.
std::string usage_text(std::string_view program, const std::string* message, bool links_and_devices);

// The whole help, then one line for each option beyond it.
std::string long_usage_text(std::string_view program, bool links_and_devices);

// "Quern Version <version>" and the line end.
std::string version_line();

}  // namespace quern
