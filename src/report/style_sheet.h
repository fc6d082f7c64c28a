#pragma once

#include "report/report_context.h"

namespace quern {

// Writes styles.css into the output directory, with the rules of the
// tables of owners where they are shown. A failure is reported and
// counted; the run goes on.
void output_stylesheet(const report_context& context);

}  // namespace quern
