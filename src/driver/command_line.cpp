#include "driver/command_line.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "base/version.h"
#include "driver/option_table.h"

namespace quern {

namespace {

// An option as met on the command line, under the spelling given.
struct given_option {
  const option_row* row;
  const char* spelling;
};

const option_row* find_option(const char* argument) {
  for (const option_row& row : option_table()) {
    for (const char* spelling : row.spellings) {
      if (spelling != nullptr && std::strcmp(argument, spelling) == 0) return &row;
    }
  }
  return nullptr;
}

// The rules between options, once every argument is read: required options
// in the table's order (-o is missed before -r), then what a listing rules
// out, then what the platform cannot do, each naming the first option given
// that breaks it.
std::optional<std::string> broken_rule(const std::vector<given_option>& given, const settings& config) {
  for (const option_row& row : option_table()) {
    const auto is_row = [&row](const given_option& option) { return option.row == &row; };
    if (row.required && std::none_of(given.begin(), given.end(), is_row)) return row.missing;
  }
  for (const given_option& option : given) {
    if (config.listing && option.row->scan_only) {
      return std::string("Option \"") + option.spelling + "\" nicht mit Listendatei moeglich";
    }
    if (!config.listing && option.row->listing_only) {
      return std::string("Option \"") + option.spelling + "\" nur mit Listendatei moeglich";
    }
  }
  for (const given_option& option : given) {
    const std::optional<listing_field> needed = option.row->listing_needs;
    if (config.listing && needed && !config.listing->has(*needed)) {
      return std::string("Option \"") + option.spelling + "\" nur mit " + option.row->listing_needs_name +
             " in der Listendatei moeglich";
    }
  }
  for (const given_option& option : given) {
    const bool refused = option.row->available != nullptr && !option.row->available();
    const bool refused_on_scan =
        !config.listing && option.row->available_on_scan != nullptr && !option.row->available_on_scan();
    if (refused || refused_on_scan) {
      return std::string("Option \"") + option.spelling + "\" ist auf dieser Plattform nicht moeglich";
    }
  }
  return std::nullopt;
}

// The column at which the short help's texts begin.
constexpr size_t kTextColumn = 16;

void append_help_line(std::string& text, std::string_view synopsis, std::string_view description) {
  const size_t start = text.size();
  text.push_back(' ');
  text.append(synopsis);
  // A synopsis too long for the column keeps one blank before its text.
  text.append(text.size() - start < kTextColumn ? kTextColumn - (text.size() - start) : 1, ' ');
  text.append(description);
  text.append("\r\n");
}

}  // namespace

command_line read_command_line(int argc, const char* const* argv, bool links_and_devices) {
  command_line line;
  if (!links_and_devices) {
    line.config.display_row_symlinks = 0;
    line.config.display_row_devices = 0;
  }
  const auto mistake = [&line](std::string message) {
    line.result = command_line::outcome::mistake;
    line.message = std::move(message);
    return line;
  };
  std::vector<given_option> given;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    const option_row* row = find_option(argument);
    if (row == nullptr) return mistake(std::string("Unbekannte Option \"") + argument + "\"");
    if (row->ends != command_line::outcome::run) {
      line.result = row->ends;
      return line;
    }
    const char* value = nullptr;
    if (row->value != nullptr) {
      if (i + 1 >= argc) return mistake(row->missing);
      value = argv[++i];
    }
    if (!row->take(line.config, value)) return mistake(std::string(row->invalid) + " \"" + value + "\"");
    given.push_back({row, argument});
  }
  settings& config = line.config;
  if (config.listing) {
    config.listing->fields = config.listing_fields;
    config.file_times = config.listing->has(listing_field::time);
  }
  if (std::optional<std::string> broken = broken_rule(given, line.config)) return mistake(std::move(*broken));
  return line;
}

std::string usage_text(std::string_view program, const std::string* message, bool links_and_devices) {
  std::string text;
  text.append(program);
  text.append(" [-h] [-v]... [-n{s|d}{s|c|f|y|d}]... -o <dir> -r <root>\r\n");
  text.append(version_line());
  if (message != nullptr) {
    text.append(*message);
    text.append("\r\n");
    return text;
  }
  text.append(
      " -h             Diese Hilfe\r\n"
      " -v ...         Debugmeldungen auf stderr\r\n"
      " -o <dir>       Ausgabeverzeichnis\r\n"
      " -r <root>      Das Verzeichnis zum scannen\r\n"
      " -nd{s|c|f|y|d} No Display Switch\r\n"
      "                -nds Anzahl Bytes werden nicht angezeigt\r\n"
      "                -ndc Anzahl Subdirectorys werden nicht angezeigt\r\n"
      "                -ndf Anzahl Files werden nicht angezeigt\r\n");
  if (links_and_devices) {
    text.append(
        "                -ndy Anzahl Symlinks werden nicht angezeigt\r\n"
        "                -ndd Anzahl Devicefiles werden nicht angezeigt\r\n");
  }
  text.append(
      " -ns{s|c|f|y|d} No Sort Switch\r\n"
      "                -nss Anzahl Bytes werden nicht sortiert\r\n"
      "                -nsc Anzahl Subdirectorys werden nicht sortiert\r\n"
      "                -nsf Anzahl Files werden nicht sortiert\r\n");
  if (links_and_devices) {
    text.append(
        "                -nsy Anzahl Symlinks werden nicht sortiert\r\n"
        "                -nsd Anzahl Devicefiles werden nicht sortiert\r\n");
  }
  return text;
}

std::string long_usage_text(std::string_view program, bool links_and_devices) {
  std::string text = usage_text(program, nullptr, links_and_devices);
  for (const option_row& row : option_table()) {
    if (row.help == nullptr) continue;
    std::string synopsis = row.spellings[0];
    if (row.value != nullptr) synopsis.append(" ").append(row.value);
    append_help_line(text, synopsis, row.help);
    if (row.spellings[1] != nullptr) append_help_line(text, row.spellings[1], std::string("wie ") + row.spellings[0]);
  }
  return text;
}

std::string version_line() { return std::string("Quern Version ") + kVersion + "\r\n"; }

}  // namespace quern
