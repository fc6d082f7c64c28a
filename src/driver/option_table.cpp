#include "driver/option_table.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/file_system.h"
#include "platform/user_names.h"

namespace quern {

namespace {

// How an option sets its field: these make a row's take.

template <auto field, auto to>
bool assign(settings& config, const char*) {
  config.*field = to;
  return true;
}

template <auto field>
bool count(settings& config, const char*) {
  ++(config.*field);
  return true;
}

template <auto field>
bool text(settings& config, const char* value) {
  config.*field = value;
  return true;
}

// Decimal digits only, no sign and no blanks, from low to high.
template <auto field, uint64_t low, uint64_t high>
bool decimal(settings& config, const char* value) {
  using number = std::remove_reference_t<decltype(config.*field)>;
  static_assert(high <= std::numeric_limits<number>::max() && high <= (UINT64_MAX - 9) / 10);
  uint64_t parsed = 0;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    parsed = parsed * 10 + static_cast<uint64_t>(*c - '0');
    if (parsed > high) return false;
  }
  if (value[0] == '\0' || parsed < low) return false;
  config.*field = static_cast<number>(parsed);
  return true;
}

// A depth below the root: decimal digits only, 0 to 4294967295.
bool page_depth(settings& config, const char* value) {
  uint64_t depth = 0;
  if (value[0] == '\0') return false;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    depth = depth * 10 + static_cast<uint64_t>(*c - '0');
    if (depth > UINT32_MAX) return false;
  }
  config.page_depth = depth;
  config.page_depth_given = value;
  return true;
}

// A number of bytes: decimal digits with an optional K, M, G, T or P (upper
// or lower case) for powers of 1024, at most 2^64 - 1 bytes in all.
bool page_min_size(settings& config, const char* value) {
  const char* c = value;
  uint64_t bytes = 0;
  for (; *c >= '0' && *c <= '9'; ++c) {
    const auto digit = static_cast<uint64_t>(*c - '0');
    if (bytes > (UINT64_MAX - digit) / 10) return false;
    bytes = bytes * 10 + digit;
  }
  if (c == value) return false;
  if (*c != '\0') {
    static constexpr char kSuffixes[] = "KMGTP";
    const char* found = std::strchr(kSuffixes, std::toupper(static_cast<unsigned char>(*c)));
    if (found == nullptr || *found == '\0' || c[1] != '\0') return false;
    for (const char* step = kSuffixes; step <= found; ++step) {
      if (bytes > UINT64_MAX / 1024) return false;
      bytes *= 1024;
    }
  }
  config.page_min_size = byte_total(bytes);
  config.page_min_size_given = value;
  return true;
}

bool listing_fields(settings& config, const char* value) {
  config.listing_fields = parse_listing_fields(value);
  return config.listing_fields.has_value();
}

template <char terminator>
bool listing(settings& config, const char* value) {
  config.listing = listing_source{value, terminator};
  return true;
}

constexpr option_row kOptions[] = {
    {.spellings = {"-h"}, .ends = reading_outcome::help},
    {.spellings = {"--help"}, .ends = reading_outcome::long_help, .help = "Diese Hilfe mit allen Optionen auf stdout"},
    {.spellings = {"--version"}, .ends = reading_outcome::version, .help = "Die Versionsnummer auf stdout"},
    {.spellings = {"-v"}, .take = count<&settings::debug>},
    {.spellings = {"-o"},
     .value = "<dir>",
     .missing = "Outputdirectory fehlt",
     .take = text<&settings::outputdirectory>,
     .required = true},
    {.spellings = {"-r"},
     .value = "<root>",
     .missing = "Rootdirectory fehlt",
     .take = text<&settings::rootdirectory>,
     .required = true},
    {.spellings = {"-nds"}, .take = assign<&settings::display_row_size, 0>},
    {.spellings = {"-ndc"}, .take = assign<&settings::display_row_subdirs, 0>},
    {.spellings = {"-ndf"}, .take = assign<&settings::display_row_files, 0>},
    {.spellings = {"-ndy"}, .take = assign<&settings::display_row_symlinks, 0>},
    {.spellings = {"-ndd"}, .take = assign<&settings::display_row_devices, 0>},
    {.spellings = {"-nss"}, .take = assign<&settings::sort_row_size, 0>},
    {.spellings = {"-nsc"}, .take = assign<&settings::sort_row_subdirs, 0>},
    {.spellings = {"-nsf"}, .take = assign<&settings::sort_row_files, 0>},
    {.spellings = {"-nsy"}, .take = assign<&settings::sort_row_symlinks, 0>},
    {.spellings = {"-nsd"}, .take = assign<&settings::sort_row_devices, 0>},
    {.spellings = {"-j"},
     .value = "<n>",
     .missing = "Threadanzahl fehlt",
     .invalid = "Ungueltige Threadanzahl",
     .take = decimal<&settings::jobs, 1, kMaxJobs>,
     .help = "Anzahl Threads, 1 bis 256 (Vorgabe nach Anzahl CPU-Kerne)"},
    {.spellings = {"--no-progress"},
     .take = assign<&settings::show_progress, false>,
     .help = "Keine Fortschrittszeile auf dem Terminal"},
    {.spellings = {"-x", "--one-file-system"},
     .take = assign<&settings::one_file_system, true>,
     .scan_only = true,
     .help = "Verzeichnisse auf anderen Dateisystemen nicht betreten"},
    {.spellings = {"--hard-links-once"},
     .take = assign<&settings::hard_links_once, true>,
     .scan_only = true,
     .available = platform_counts_hard_links,
     .help = "Dateien mit mehreren Namen (harte Links) nur einmal zaehlen"},
    {.spellings = {"--depth"},
     .value = "<n>",
     .missing = "Tiefe fehlt",
     .invalid = "Ungueltige Tiefe",
     .take = page_depth,
     .help = "Seiten nur fuer Verzeichnisse bis zu n Ebenen unter der Wurzel"},
    {.spellings = {"--min-size"},
     .value = "<size>",
     .missing = "Groesse fehlt",
     .invalid = "Ungueltige Groesse",
     .take = page_min_size,
     .help = "Seiten nur fuer Verzeichnisse ab dieser Groesse in Bytes (K, M, G, T, P: 1024er-Potenzen)"},
    {.spellings = {"--allocated"},
     .take = assign<&settings::allocated, true>,
     .listing_needs = listing_field::blocks,
     .listing_needs_name = "Bloecken",
     .help = "Belegten Platz auf dem Datentraeger statt der Laenge zaehlen (wie du)"},
    {.spellings = {"--age"},
     .take = assign<&settings::ages, true>,
     .listing_needs = listing_field::time,
     .listing_needs_name = "Aenderungszeiten",
     .help = "Bytes und Dateien nach Jahr der letzten Aenderung (UTC) zeigen"},
    {.spellings = {"--largest"},
     .value = "<n>",
     .missing = "Anzahl fehlt",
     .invalid = "Ungueltige Anzahl",
     .take = decimal<&settings::largest, 1, 1000>,
     .help = "Die n groessten Dateien unter jedem Verzeichnis zeigen, 1 bis 1000"},
    {.spellings = {"--owners"},
     .take = assign<&settings::owners, true>,
     .available_on_scan = platform_knows_owners,
     .help = "Bytes und Dateien je Eigentuemer zeigen (Liste: find -printf '%y %s %U %p\\0')"},
    {.spellings = {"--pictures"},
     .take = assign<&settings::pictures, true>,
     .help = "Anteilsbalken, eine Baumkarte (SVG) je Verzeichnis und Marken unvollstaendiger Zahlen zeigen"},
    {.spellings = {"--listing"},
     .value = "<file>",
     .missing = "Listendatei fehlt",
     .take = listing<'\0'>,
     .help = "Baum aus einer Liste lesen (find -printf '%y %s %p\\0'), - fuer stdin"},
    {.spellings = {"--listing-lines"},
     .value = "<file>",
     .missing = "Listendatei fehlt",
     .take = listing<'\n'>,
     .help = "wie --listing, Eintraege enden mit Zeilenende"},
    {.spellings = {"--listing-fields"},
     .value = "<fields>",
     .missing = "Felder fehlen",
     .invalid = "Ungueltige Felder",
     .take = listing_fields,
     .listing_only = true,
     .help = "Felder der Listeneintraege vor dem Pfad, z.B. type,size,time,blocks,owner "
             "(find -printf '%y %s %T@ %b %u %p\\0')"},
    {.spellings = {"--no-summary"},
     .take = assign<&settings::report_summary, false>,
     .help = "Keine Zusammenfassung summary.txt im Ausgabeverzeichnis"},
    {.spellings = {"--summary"},
     .value = "<file>",
     .missing = "Zusammenfassungsdatei fehlt",
     .take = text<&settings::full_summary>,
     .help = "Zusammenfassung aller Verzeichnisse in diese neue Datei schreiben"},
    {.spellings = {"--compare"},
     .value = "<old>",
     .missing = "Vergleichsbericht fehlt",
     .take = text<&settings::compare>,
     .help = "Aenderungen seit einem frueheren Bericht (Verzeichnis oder Zusammenfassung) zeigen"},
};

}  // namespace

std::span<const option_row> option_table() { return kOptions; }

}  // namespace quern
