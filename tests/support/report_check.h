#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_total.h"

// Checks that hold for every report, whatever tree it shows: the markup
// leaves no name unescaped, every link names a file of the report, and the
// figures of every page add up. Each check returns what is wrong, or nothing.
namespace quern_test {

// Every '<' opens a known tag whose attributes are quoted and hold no markup
// character, every '&' begins an entity, and the text holds no '>' or '"'.
std::string markup_fault(std::string_view page);

// An SVG file is well-formed XML: it begins with its declaration, its
// elements nest, its attributes are quoted, every '&' begins an entity or a
// character reference, and every byte is part of a UTF-8 character that XML
// allows.
std::string xml_fault(std::string_view text);

// On a directory page: for each statistic the total is the count directly
// here plus the count below; the count below is the sum of the rows, where
// the rows show that column, and zero when there are no rows at all; the
// subdirectories directly here are the rows. Rows of directories gone since
// an earlier report count for none of these; every row's change and every
// total's is well-formed.
std::string figures_fault(std::string_view page);

// On a page with a table of owners: their bytes and files add up to the
// totals, each share has one decimal (a dash where there are no bytes),
// the named owners come largest first, at most twenty of them, and a row
// of all others, if any, comes last. Compared with an earlier report,
// owners that are gone hold nothing and follow the others, and where every
// owner's change is known they add up to the change of bytes.
std::string owners_fault(std::string_view page);

// On a page with a table of ages: the bytes and files of its rows add up to
// the totals.
std::string ages_fault(std::string_view page);

// The whole output directory: every page passes the checks above, every link
// names a file of the directory or the home page, and the entry page shows
// the totals and owners of the root's page it leads to. Names the first few
// faults.
std::string report_fault(const std::string& output_directory);

// The targets of the page's links, in page order.
std::vector<std::string> link_targets(std::string_view page);

// The texts of all cells of the class, in page order.
std::vector<std::string> cells_of_class(std::string_view page, std::string_view cell_class);

// A number as the pages group it; false for any other text. Sums are exact
// to 128 bits, as the report's are.
bool parse_grouped(std::string_view text, quern::byte_total& value);

// The statistics cells of the last column, the totals, in the order of the
// table's rows: bytes, files, subdirectories, symbolic links, other entries.
std::vector<std::string> totals(std::string_view page);

// The summary with the time its run began, the one part of a report that
// differs between two runs over the same tree, replaced by "TIME".
std::string without_time(const std::string& summary);

// Every file of the output directory by name, the summary's time masked.
std::map<std::string, std::string> read_report(const std::string& output_directory);

}  // namespace quern_test
