// The command-line reader against a plain model of its rules, on argument
// vectors of any bytes: NUL separates arguments, so arguments may be empty
// or very long.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "driver/command_line.h"
#include "fuzz_input.h"

namespace {

using quern::command_line;
using quern::settings;

const char* const kSwitchNames[] = {"-nds", "-ndc", "-ndf", "-ndy", "-ndd", "-nss", "-nsc", "-nsf", "-nsy", "-nsd"};
int settings::*const kSwitchFlags[] = {&settings::display_row_size,    &settings::display_row_subdirs,
                                       &settings::display_row_files,   &settings::display_row_symlinks,
                                       &settings::display_row_devices, &settings::sort_row_size,
                                       &settings::sort_row_subdirs,    &settings::sort_row_files,
                                       &settings::sort_row_symlinks,   &settings::sort_row_devices};

struct expectation {
  command_line::outcome result = command_line::outcome::run;
  std::string message;
  int debug = 0;
  std::string output;
  std::string root;
  int flags[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  int jobs = 0;
  bool show_progress = true;
  bool one_file_system = false;
  bool hard_links_once = false;
  bool owners = false;
  bool pictures = false;
  bool allocated = false;
  bool ages = false;
  uint32_t largest = 0;
  std::optional<std::vector<quern::listing_field>> fields;
  bool listing = false;
  std::string listing_path;
  char terminator = '\0';
  std::optional<uint64_t> depth;
  std::optional<uint64_t> min_size;
  std::string depth_given;
  std::string min_size_given;
  bool report_summary = true;
  std::optional<std::string> full_summary;
  std::optional<std::string> compare;
};

// A thread count as the rules have it: decimal digits only, 1 to 256;
// leading zeros are digits like any other.
bool valid_jobs(const std::string& text, int& jobs) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const size_t significant = text.find_first_not_of('0');
  if (significant == std::string::npos || text.size() - significant > 3) return false;
  jobs = std::stoi(text.substr(significant));
  return jobs >= 1 && jobs <= 256;
}

// A depth as the rules have it: decimal digits only, 0 to 2^32 - 1.
bool valid_depth(const std::string& text, std::optional<uint64_t>& depth) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const size_t significant = text.find_first_not_of('0');
  if (significant == std::string::npos) return depth = 0, true;
  if (text.size() - significant > 10) return false;
  const uint64_t value = std::stoull(text.substr(significant));
  if (value > 4294967295u) return false;
  depth = value;
  return true;
}

// A size as the rules have it: decimal digits, then at most one of K, M, G,
// T, P in either case for that power of 1024; at most 2^64 - 1 bytes.
bool valid_size(const std::string& text, std::optional<uint64_t>& bytes) {
  const size_t digits = text.find_first_not_of("0123456789");
  if (digits == 0 || text.empty()) return false;
  int power = 0;
  if (digits != std::string::npos) {
    const std::string suffixes = "KMGTPkmgtp";
    const size_t at = suffixes.find(text[digits]);
    if (digits + 1 != text.size() || at == std::string::npos) return false;
    power = static_cast<int>(at % 5) + 1;
  }
  // Exact in a wider type, then compared with the largest 64-bit value.
  __extension__ typedef unsigned __int128 wide;
  wide value = 0;
  for (size_t i = 0; i < std::min(digits, text.size()); ++i) {
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
    if (value > UINT64_MAX) return false;
  }
  for (int i = 0; i < power; ++i) value *= 1024;
  if (value > UINT64_MAX) return false;
  bytes = static_cast<uint64_t>(value);
  return true;
}

// A count of largest files: decimal digits only, 1 to 1000.
bool valid_largest(const std::string& text, uint32_t& largest) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const size_t significant = text.find_first_not_of('0');
  if (significant == std::string::npos || text.size() - significant > 4) return false;
  largest = static_cast<uint32_t>(std::stoul(text.substr(significant)));
  return largest <= 1000;
}

// Fields named once each, separated by commas, type and size among them,
// an owner only last.
bool valid_fields(const std::string& text, std::optional<std::vector<quern::listing_field>>& fields) {
  const std::pair<const char*, quern::listing_field> names[] = {{"type", quern::listing_field::type},
                                                                {"size", quern::listing_field::size},
                                                                {"time", quern::listing_field::time},
                                                                {"blocks", quern::listing_field::blocks},
                                                                {"owner", quern::listing_field::owner}};
  std::vector<quern::listing_field> read;
  std::string rest = text + ",";
  while (!rest.empty()) {
    const std::string name = rest.substr(0, rest.find(','));
    rest.erase(0, name.size() + 1);
    const auto known =
        std::find_if(std::begin(names), std::end(names), [&name](const auto& n) { return name == n.first; });
    if (known == std::end(names) || std::count(read.begin(), read.end(), known->second) > 0) return false;
    read.push_back(known->second);
  }
  const auto has = [&read](quern::listing_field f) { return std::count(read.begin(), read.end(), f) > 0; };
  if (!has(quern::listing_field::type) || !has(quern::listing_field::size)) return false;
  if (has(quern::listing_field::owner) && read.back() != quern::listing_field::owner) return false;
  fields = read;
  return true;
}

// Left to right; -h, --help, --version and the first mistake end the reading.
expectation model(const std::vector<std::string>& arguments, bool links_and_devices) {
  expectation e;
  if (!links_and_devices) e.flags[3] = e.flags[4] = 0;
  bool have_output = false, have_root = false;
  // The first option given that a listing rules out, and that needs one.
  std::string scan_only;
  std::string listing_only;
  // The options that need a field of the listing, in the order given.
  std::vector<std::pair<std::string, quern::listing_field>> needs;
  const auto mistake = [&e](std::string message) {
    e.result = command_line::outcome::mistake;
    e.message = std::move(message);
    return e;
  };
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    const bool last = i + 1 == arguments.size();
    if (a == "-h" || a == "--help" || a == "--version") {
      e.result = a == "-h"       ? command_line::outcome::help
                 : a == "--help" ? command_line::outcome::long_help
                                 : command_line::outcome::version;
      return e;
    }
    if (a == "-v") {
      ++e.debug;
    } else if (a == "-o" || a == "-r") {
      if (last) return mistake(a == "-o" ? "Outputdirectory fehlt" : "Rootdirectory fehlt");
      (a == "-o" ? e.output : e.root) = arguments[++i];
      (a == "-o" ? have_output : have_root) = true;
    } else if (a == "-j") {
      if (last) return mistake("Threadanzahl fehlt");
      ++i;
      if (!valid_jobs(arguments[i], e.jobs)) return mistake("Ungueltige Threadanzahl \"" + arguments[i] + "\"");
    } else if (a == "--listing" || a == "--listing-lines") {
      if (last) return mistake("Listendatei fehlt");
      e.listing = true;
      e.listing_path = arguments[++i];
      e.terminator = a == "--listing" ? '\0' : '\n';
    } else if (a == "--depth") {
      if (last) return mistake("Tiefe fehlt");
      ++i;
      if (!valid_depth(arguments[i], e.depth)) return mistake("Ungueltige Tiefe \"" + arguments[i] + "\"");
      e.depth_given = arguments[i];
    } else if (a == "--min-size") {
      if (last) return mistake("Groesse fehlt");
      ++i;
      if (!valid_size(arguments[i], e.min_size)) return mistake("Ungueltige Groesse \"" + arguments[i] + "\"");
      e.min_size_given = arguments[i];
    } else if (a == "--summary" || a == "--compare") {
      if (last) return mistake(a == "--summary" ? "Zusammenfassungsdatei fehlt" : "Vergleichsbericht fehlt");
      (a == "--summary" ? e.full_summary : e.compare) = arguments[++i];
    } else if (a == "--no-summary") {
      e.report_summary = false;
    } else if (a == "--no-progress") {
      e.show_progress = false;
    } else if (a == "--owners") {
      e.owners = true;
    } else if (a == "--pictures") {
      e.pictures = true;
    } else if (a == "--allocated" || a == "--age") {
      (a == "--age" ? e.ages : e.allocated) = true;
      needs.emplace_back(a, a == "--age" ? quern::listing_field::time : quern::listing_field::blocks);
    } else if (a == "--largest") {
      if (last) return mistake("Anzahl fehlt");
      ++i;
      if (!valid_largest(arguments[i], e.largest)) return mistake("Ungueltige Anzahl \"" + arguments[i] + "\"");
    } else if (a == "--listing-fields") {
      if (last) return mistake("Felder fehlen");
      ++i;
      if (!valid_fields(arguments[i], e.fields)) return mistake("Ungueltige Felder \"" + arguments[i] + "\"");
      if (listing_only.empty()) listing_only = a;
    } else if (a == "-x" || a == "--one-file-system" || a == "--hard-links-once") {
      (a == "--hard-links-once" ? e.hard_links_once : e.one_file_system) = true;
      if (scan_only.empty()) scan_only = a;
    } else {
      size_t s = 0;
      while (s < 10 && a != kSwitchNames[s]) ++s;
      if (s == 10) return mistake("Unbekannte Option \"" + a + "\"");
      e.flags[s] = 0;
    }
  }
  if (!have_output) return mistake("Outputdirectory fehlt");
  if (!have_root) return mistake("Rootdirectory fehlt");
  if (e.listing && !scan_only.empty()) return mistake("Option \"" + scan_only + "\" nicht mit Listendatei moeglich");
  if (!e.listing && !listing_only.empty())
    return mistake("Option \"" + listing_only + "\" nur mit Listendatei moeglich");
  for (const auto& [option, field] : needs) {
    if (e.listing && (!e.fields || std::count(e.fields->begin(), e.fields->end(), field) == 0)) {
      return mistake("Option \"" + option + "\" nur mit " +
                     (field == quern::listing_field::time ? "Aenderungszeiten" : "Bloecken") +
                     " in der Listendatei moeglich");
    }
  }
  return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input input(data, size);
  const bool links_and_devices = (input.byte() & 1) == 0;
  std::vector<std::string> arguments(1);
  for (const char c : input.bytes(size)) {
    if (c == '\0') {
      arguments.emplace_back();
    } else {
      arguments.back().push_back(c);
    }
  }
  if (size <= 1) arguments.clear();
  std::vector<const char*> argv = {"quern"};
  for (const std::string& a : arguments) argv.push_back(a.c_str());

  const command_line line = quern::read_command_line(static_cast<int>(argv.size()), argv.data(), links_and_devices);
  const expectation e = model(arguments, links_and_devices);
  require(line.result == e.result, "the outcome follows the rules");
  if (line.result == command_line::outcome::mistake) require(line.message == e.message, "the mistake is named");
  if (line.result == command_line::outcome::run) {
    require(line.config.debug == e.debug, "each -v raises the level");
    require(line.config.outputdirectory == e.output && line.config.rootdirectory == e.root, "the last values count");
    for (size_t s = 0; s < 10; ++s) require(line.config.*kSwitchFlags[s] == e.flags[s], "switches clear their flag");
    require(line.config.jobs == e.jobs, "the last thread count counts");
    require(line.config.show_progress == e.show_progress && line.config.one_file_system == e.one_file_system &&
                line.config.hard_links_once == e.hard_links_once && line.config.owners == e.owners &&
                line.config.allocated == e.allocated && line.config.ages == e.ages &&
                line.config.pictures == e.pictures,
            "flags are set by their own options only");
    require(line.config.largest == e.largest, "the last count of largest files counts");
    require(line.config.page_depth == e.depth, "the last depth counts");
    require(line.config.page_min_size.has_value() == e.min_size.has_value() &&
                (!e.min_size || *line.config.page_min_size == quern::byte_total(*e.min_size)),
            "the last size counts");
    require(line.config.page_depth_given == e.depth_given && line.config.page_min_size_given == e.min_size_given,
            "the caps are kept as given");
    require(line.config.report_summary == e.report_summary && line.config.full_summary == e.full_summary &&
                line.config.compare == e.compare,
            "the summaries and the comparison follow their own options only");
    require(line.config.listing.has_value() == e.listing, "a listing is read only when named");
    if (e.listing) {
      require(line.config.listing->path == e.listing_path && line.config.listing->terminator == e.terminator,
              "the last listing option counts");
      require(line.config.listing->fields == e.fields, "the last declaration of fields counts");
      require(line.config.file_times ==
                  (e.fields && std::count(e.fields->begin(), e.fields->end(), quern::listing_field::time) > 0),
              "a listing tells times only where it declares them");
    }
  }

  const std::string synopsis = " [-h] [-v]... [-n{s|d}{s|c|f|y|d}]... -o <dir> -r <root>\r\nQuern Version 0.0.9\r\n";
  const std::string program = arguments.empty() ? "" : arguments.front();
  if (line.result == command_line::outcome::mistake) {
    require(quern::usage_text(program, &line.message, links_and_devices) == program + synopsis + line.message + "\r\n",
            "a mistake prints the synopsis and the message");
  } else {
    const std::string help = quern::usage_text(program, nullptr, links_and_devices);
    require(help.starts_with(program + synopsis) && help.ends_with("nicht sortiert\r\n"), "the help is whole");
  }
  return 0;
}
