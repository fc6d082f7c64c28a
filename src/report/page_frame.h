#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "base/version.h"
#include "platform/file_system.h"

namespace quern {

// The project's home page, linked from every page's footer.
inline constexpr const char* kHomePage = "https://quern.example/";

// Appends the opening of a page, up to and including "<body>". The title is
// escaped for HTML here.
void output_html_head(std::string& page, std::string_view title);

// Appends the credit footer; the caller closes body and document.
void output_html_footer(std::string& page);

// Appends a table cell of the class `prefix` followed by `word`, on a line
// of its own; the text is HTML already.
void append_cell(std::string& page, std::string_view prefix, std::string_view word, std::string_view text);
inline void append_cell(std::string& page, std::string_view cell_class, std::string_view text) {
  append_cell(page, cell_class, {}, text);
}

// Writes the whole text and closes the file. The first failure of either is
// the result, so a shortened file never passes as written; the file is then
// unfinished, and removed with its object: a reader meets a missing file, as
// after a failed create, never one that silently lacks its end.
status write_and_close(output_file& file, std::string_view text);

}  // namespace quern
