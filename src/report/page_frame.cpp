#include "report/page_frame.h"

#include "base/text.h"

namespace quern {

void output_html_head(std::string& page, std::string_view title) {
  page +=
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"\r\n"
      " \"http://www.w3.org/TR/html4/loose.dtd\">\r\n"
      "<html>\r\n"
      "<head>\r\n"
      " <meta name=\"robots\" content=\"noindex,nofollow\">\r\n"
      " <meta name=\"author\" content=\"Quern Version ";
  page += kVersion;
  page +=
      "\">\r\n"
      " <link rel=\"stylesheet\" type=\"text/css\" href=\"styles.css\">\r\n"
      " <title>";
  append_html_escaped(page, title);
  page +=
      "</title>\r\n"
      "</head>\r\n"
      "<body>\r\n";
}

void append_cell(std::string& page, std::string_view prefix, std::string_view word, std::string_view text) {
  page += " <td class=\"";
  page += prefix;
  page += word;
  page += "\">";
  page += text;
  page += "</td>\r\n";
}

void output_html_footer(std::string& page) {
  page += "<div class=\"footer\">\r\nErstellt mit <a href=\"";
  page += kHomePage;
  page += "\">Quern</a> Version ";
  page += kVersion;
  page += "\r\n</div>\r\n";
}

status write_and_close(output_file& file, std::string_view text) {
  const status written = file.write(text);
  const status closed = file.close();
  return written.is_ok() ? closed : written;
}

}  // namespace quern
