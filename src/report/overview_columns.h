#pragma once

#include <string_view>

#include "report/figures.h"
#include "report/report_context.h"

namespace quern {

// The overview table has the name column first, then a column for each
// figure in the order of kOverviewFigures, each with its change beside it
// where it has one and the pages show changes. A column is shown unless
// switched off, and the pages sorted by it are offered unless switched off;
// the name's column and pages always are.
inline constexpr std::string_view kNameWord = "name";
inline constexpr std::string_view kNameHeading = "Unterverzeichnisname";
// With pictures, the share of the directory's bytes stands beside the bytes.
inline constexpr std::string_view kShareWord = "share";
inline constexpr std::string_view kShareHeading = "Anteil";

inline bool shown(const report_options& options, const figure& f) { return options.*f.display != 0; }
inline bool offered(const report_options& options, const figure& f) { return options.*f.sort != 0; }

// The page sorted by the change of bytes goes with that column.
inline bool has_growth_page(const report_context& context) {
  return context.earlier != nullptr && shown(context.options, kFigures[kBytes]);
}

}  // namespace quern
