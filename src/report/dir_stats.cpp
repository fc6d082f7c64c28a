#include "report/dir_stats.h"

#include <cstdint>

#include "base/text.h"
#include "report/page_frame.h"

namespace quern {

namespace {

// Counts are never negative; they are shown as sums are.
byte_total as_total(int64_t count) { return byte_total(static_cast<uint64_t>(count)); }

struct stats_row {
  const char* label;
  const char* cell_class;
  byte_total (*here)(const directory_node&);
  byte_total (*below)(const directory_node&);
  std::string (*change)(const totals_change&);
};

constexpr stats_row kRows[] = {
    {"Belegte Bytes", "tdbytes", [](const directory_node& n) { return n.size; },
     [](const directory_node& n) { return n.recursize; },
     [](const totals_change& c) { return dotted_change(c.bytes); }},
    {"Dateien", "tdfiles", [](const directory_node& n) { return as_total(n.files); },
     [](const directory_node& n) { return as_total(n.recurfiles); },
     [](const totals_change& c) { return dotted_change(c.files); }},
    {"Unterverzeichnisse", "tdsubdir", [](const directory_node& n) { return as_total(n.subdirs); },
     [](const directory_node& n) { return as_total(n.recursubdirs); },
     [](const totals_change& c) { return dotted_change(c.subdirs); }},
    {"Symbolische Links", "tdsymlink", [](const directory_node& n) { return as_total(n.symlinks); },
     [](const directory_node& n) { return as_total(n.recursymlinks); },
     [](const totals_change& c) { return dotted_change(c.links); }},
    {"Devicefiles", "tdother", [](const directory_node& n) { return as_total(n.devices); },
     [](const directory_node& n) { return as_total(n.recurdevices); },
     [](const totals_change& c) { return dotted_change(c.others); }},
};

}  // namespace

void output_dir_stats(std::string& page, const directory_node& node, bool detailed, const totals_change* change) {
  page += "<div class=\"dirstatstext\">\r\n<table class=\"dirstatstable\">\r\n<tr>\r\n <td></td>\r\n";
  if (detailed) {
    page +=
        " <td class=\"tdinfo\">In diesem Verzeichnis</td>\r\n"
        " <td class=\"tdinfo\">Nur in den Unterverzeichnissen</td>\r\n";
  }
  page += " <td class=\"tdinfo\">Gesamt inkl. Unterverzeichnisse</td>\r\n";
  if (change != nullptr) page += " <td class=\"tdinfo\">&Auml;nderung</td>\r\n";
  page += "</tr>\r\n";
  for (const stats_row& row : kRows) {
    page += "<tr>\r\n <td class=\"tdinfo\">";
    page += row.label;
    page += "</td>\r\n";
    const byte_total here = row.here(node);
    const byte_total below = row.below(node);
    if (detailed) {
      append_cell(page, row.cell_class, dotted(here));
      append_cell(page, row.cell_class, dotted(below));
    }
    append_cell(page, row.cell_class, dotted(here + below));
    if (change != nullptr) append_cell(page, "tdchange", change->known ? row.change(*change) : std::string());
    page += "</tr>\r\n";
  }
  page += "</table>\r\n</div>\r\n";
}

}  // namespace quern
