#include "report/dir_stats.h"

#include <cstdint>

#include "base/text.h"

namespace quern {

namespace {

// Counts are never negative; they are shown as sums are.
byte_total as_total(int64_t count) { return byte_total(static_cast<uint64_t>(count)); }

struct stats_row {
  const char* label;
  const char* cell_class;
  byte_total (*here)(const directory_node&);
  byte_total (*below)(const directory_node&);
};

constexpr stats_row kRows[] = {
    {"Belegte Bytes", "tdbytes", [](const directory_node& n) { return n.size; },
     [](const directory_node& n) { return n.recursize; }},
    {"Dateien", "tdfiles", [](const directory_node& n) { return as_total(n.files); },
     [](const directory_node& n) { return as_total(n.recurfiles); }},
    {"Unterverzeichnisse", "tdsubdir", [](const directory_node& n) { return as_total(n.subdirs); },
     [](const directory_node& n) { return as_total(n.recursubdirs); }},
    {"Symbolische Links", "tdsymlink", [](const directory_node& n) { return as_total(n.symlinks); },
     [](const directory_node& n) { return as_total(n.recursymlinks); }},
    {"Devicefiles", "tdother", [](const directory_node& n) { return as_total(n.devices); },
     [](const directory_node& n) { return as_total(n.recurdevices); }},
};

void append_cell(std::string& page, const char* cell_class, const byte_total& value) {
  page += " <td class=\"";
  page += cell_class;
  page += "\">";
  page += dotted(value);
  page += "</td>\r\n";
}

}  // namespace

void output_dir_stats(std::string& page, const directory_node& node, bool detailed) {
  page += "<div class=\"dirstatstext\">\r\n<table class=\"dirstatstable\">\r\n<tr>\r\n <td></td>\r\n";
  if (detailed) {
    page +=
        " <td class=\"tdinfo\">In diesem Verzeichnis</td>\r\n"
        " <td class=\"tdinfo\">Nur in den Unterverzeichnissen</td>\r\n";
  }
  page += " <td class=\"tdinfo\">Gesamt inkl. Unterverzeichnisse</td>\r\n</tr>\r\n";
  for (const stats_row& row : kRows) {
    page += "<tr>\r\n <td class=\"tdinfo\">";
    page += row.label;
    page += "</td>\r\n";
    const byte_total here = row.here(node);
    const byte_total below = row.below(node);
    if (detailed) {
      append_cell(page, row.cell_class, here);
      append_cell(page, row.cell_class, below);
    }
    append_cell(page, row.cell_class, here + below);
    page += "</tr>\r\n";
  }
  page += "</table>\r\n</div>\r\n";
}

}  // namespace quern
