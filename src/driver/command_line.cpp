#include "driver/command_line.h"

#include <cstring>

#include "base/version.h"

namespace quern {

namespace {

struct switch_option {
  const char* name;
  int settings::*flag;
};

constexpr switch_option kSwitches[] = {
    {"-nds", &settings::display_row_size},    {"-ndy", &settings::display_row_symlinks},
    {"-ndc", &settings::display_row_subdirs}, {"-ndd", &settings::display_row_devices},
    {"-ndf", &settings::display_row_files},   {"-nss", &settings::sort_row_size},
    {"-nsy", &settings::sort_row_symlinks},   {"-nsc", &settings::sort_row_subdirs},
    {"-nsd", &settings::sort_row_devices},    {"-nsf", &settings::sort_row_files},
};

// Options beyond the column switches, matched whole like every argument. One
// with a missing-value message takes the next argument as its value,
// whatever it looks like.
struct added_option {
  const char* name;
  const char* missing_value;  // null: takes no value
  void (*apply)(settings& config, const char* value);
  // Needs what only a scan can tell, which a listing does not carry.
  bool scan_only;
};

constexpr added_option kAddedOptions[] = {
    {"--no-progress", nullptr, [](settings& config, const char*) { config.show_progress = false; }, false},
    {"-x", nullptr, [](settings& config, const char*) { config.one_file_system = true; }, true},
    {"--one-file-system", nullptr, [](settings& config, const char*) { config.one_file_system = true; }, true},
    {"--hard-links-once", nullptr, [](settings& config, const char*) { config.hard_links_once = true; }, true},
    {"--listing", "Listendatei fehlt",
     [](settings& config, const char* value) {
       config.listing = listing_source{value, '\0'};
     },
     false},
    {"--listing-lines", "Listendatei fehlt",
     [](settings& config, const char* value) {
       config.listing = listing_source{value, '\n'};
     },
     false},
};

const added_option* find_added_option(const char* argument) {
  for (const added_option& option : kAddedOptions) {
    if (std::strcmp(argument, option.name) == 0) return &option;
  }
  return nullptr;
}

// A thread count: decimal digits only, from 1 to kMaxJobs.
bool parse_jobs(const char* text, int& jobs) {
  int value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + (*c - '0');
    if (value > kMaxJobs) return false;
  }
  if (text[0] == '\0' || value < 1) return false;
  jobs = value;
  return true;
}

// The options beyond those of the short help, in the order of their lines
// in the long help.
struct described_option {
  const char* synopsis;
  const char* text;
};

constexpr described_option kLongHelpOptions[] = {
    {"--help", "Diese Hilfe mit allen Optionen auf stdout"},
    {"--version", "Die Versionsnummer auf stdout"},
    {"-j <n>", "Anzahl Threads, 1 bis 256 (Vorgabe nach Anzahl CPU-Kerne)"},
    {"--no-progress", "Keine Fortschrittszeile auf dem Terminal"},
    {"-x", "Verzeichnisse auf anderen Dateisystemen nicht betreten"},
    {"--one-file-system", "wie -x"},
    {"--hard-links-once", "Dateien mit mehreren Namen (harte Links) nur einmal zaehlen"},
    {"--listing <file>", "Baum aus einer Liste lesen (find -printf '%y %s %p\\0'), - fuer stdin"},
    {"--listing-lines <file>", "wie --listing, Eintraege enden mit Zeilenende"},
};

// The column at which the short help's texts begin.
constexpr size_t kTextColumn = 16;

}  // namespace

command_line read_command_line(int argc, const char* const* argv, bool links_and_devices) {
  command_line line;
  settings& config = line.config;
  if (!links_and_devices) {
    config.display_row_symlinks = 0;
    config.display_row_devices = 0;
  }
  bool have_output = false;
  bool have_root = false;
  const char* scan_only = nullptr;  // the first option given that a listing rules out
  auto mistake = [&line](std::string message) {
    line.result = command_line::outcome::mistake;
    line.message = std::move(message);
    return line;
  };

  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (std::strcmp(argument, "-h") == 0) {
      line.result = command_line::outcome::help;
      return line;
    }
    if (std::strcmp(argument, "--help") == 0) {
      line.result = command_line::outcome::long_help;
      return line;
    }
    if (std::strcmp(argument, "--version") == 0) {
      line.result = command_line::outcome::version;
      return line;
    }
    if (std::strcmp(argument, "-v") == 0) {
      ++config.debug;
      continue;
    }
    if (std::strcmp(argument, "-o") == 0) {
      if (i + 1 >= argc) return mistake("Outputdirectory fehlt");
      config.outputdirectory = argv[++i];
      have_output = true;
      continue;
    }
    if (std::strcmp(argument, "-j") == 0) {
      if (i + 1 >= argc) return mistake("Threadanzahl fehlt");
      ++i;
      if (!parse_jobs(argv[i], config.jobs)) return mistake(std::string("Ungueltige Threadanzahl \"") + argv[i] + "\"");
      continue;
    }
    if (std::strcmp(argument, "-r") == 0) {
      if (i + 1 >= argc) return mistake("Rootdirectory fehlt");
      config.rootdirectory = argv[++i];
      have_root = true;
      continue;
    }
    if (const added_option* option = find_added_option(argument); option != nullptr) {
      const char* value = nullptr;
      if (option->missing_value != nullptr) {
        if (i + 1 >= argc) return mistake(option->missing_value);
        value = argv[++i];
      }
      option->apply(config, value);
      if (option->scan_only && scan_only == nullptr) scan_only = option->name;
      continue;
    }
    bool matched = false;
    for (const switch_option& option : kSwitches) {
      if (std::strcmp(argument, option.name) == 0) {
        config.*option.flag = 0;
        matched = true;
        break;
      }
    }
    if (!matched) return mistake(std::string("Unbekannte Option \"") + argument + "\"");
  }
  if (!have_output) return mistake("Outputdirectory fehlt");
  if (!have_root) return mistake("Rootdirectory fehlt");
  // Combinations that cannot work together are told apart here, once every
  // argument is read.
  if (config.listing && scan_only != nullptr) {
    return mistake(std::string("Option \"") + scan_only + "\" nicht mit Listendatei moeglich");
  }
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
  for (const described_option& option : kLongHelpOptions) {
    const size_t start = text.size();
    text.push_back(' ');
    text.append(option.synopsis);
    // A synopsis too long for the column keeps one blank before its text.
    text.append(text.size() - start < kTextColumn ? kTextColumn - (text.size() - start) : 1, ' ');
    text.append(option.text);
    text.append("\r\n");
  }
  return text;
}

std::string version_line() { return std::string("Quern Version ") + kVersion + "\r\n"; }

}  // namespace quern
