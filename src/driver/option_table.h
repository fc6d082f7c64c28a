#pragma once

#include <optional>
#include <span>

#include "driver/settings.h"

namespace quern {

// How reading the command line ends: with a run, or with one of the answers
// that ask for no report.
enum class reading_outcome { run, help, long_help, version, mistake };

// Everything the reading, the rules between options and the long help know
// of one option. A new option is a row here and, where it sets something,
// a field of the settings.
struct option_row {
  // Matched whole. A second spelling's help line says "wie" the first.
  const char* spellings[2] = {};
  // Anything but run ends the reading at once with this outcome.
  reading_outcome ends = reading_outcome::run;
  // The value's name in the help, such as "<n>". An option with a value
  // takes the next argument, whatever it looks like; null: no value.
  const char* value = nullptr;
  // Said when the value is missing, and when a required option is.
  const char* missing = nullptr;
  // Said, with the value in quotes, when take refuses the value.
  const char* invalid = nullptr;
  // Checks and stores the value, or sets what the option sets; false when
  // the value is not valid.
  bool (*take)(settings& config, const char* value) = nullptr;
  bool required = false;
  // Needs what only a scan can tell, which a listing does not carry.
  bool scan_only = false;
  // Tells how a listing is read, and so needs one.
  bool listing_only = false;
  // Needs a field that a listing may carry: named so in the message where
  // the listing's declared fields lack it.
  std::optional<listing_field> listing_needs = std::nullopt;
  const char* listing_needs_name = nullptr;
  // Whether the platform can do it; null: every platform can.
  bool (*available)() = nullptr;
  // Whether the platform can do it on a scan, where a listing does it
  // anywhere; null: every platform can.
  bool (*available_on_scan)() = nullptr;
  // The text of its line in the long help; null where the short help's
  // fixed text describes the option.
  const char* help = nullptr;
};

// Every option, the long help's lines in their order.
std::span<const option_row> option_table();

}  // namespace quern
