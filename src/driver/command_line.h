#pragma once

#include <string>
#include <string_view>

#include "driver/settings.h"

namespace quern {

struct command_line {
  enum class outcome { run, help, mistake };
  outcome result = outcome::run;
  settings config;
  std::string message;  // what is wrong, for outcome::mistake
};

// Reads the arguments left to right, each matched as a whole against the
// option table; -h or an unknown argument ends the reading at once.
// Without links and devices on the platform their columns start switched off.
command_line read_command_line(int argc, const char* const* argv, bool links_and_devices);

// The help: synopsis, version, then the message or, without one, the
// option lines.
std::string usage_text(std::string_view program, const std::string* message, bool links_and_devices);

}  // namespace quern
