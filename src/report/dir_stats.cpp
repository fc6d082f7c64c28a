#include "report/dir_stats.h"

#include <cstdint>

#include "base/text.h"

namespace quern {

namespace {

struct stats_row {
  const char* label;
  const char* cell_class;
  int64_t directory_node::*here;
  int64_t directory_node::*below;
  int64_t (directory_node::*total)() const;
};

constexpr stats_row kRows[] = {
    {"Belegte Bytes", "tdbytes", &directory_node::size, &directory_node::recursize, &directory_node::total_size},
    {"Dateien", "tdfiles", &directory_node::files, &directory_node::recurfiles, &directory_node::total_files},
    {"Unterverzeichnisse", "tdsubdir", &directory_node::subdirs, &directory_node::recursubdirs,
     &directory_node::total_subdirs},
    {"Symbolische Links", "tdsymlink", &directory_node::symlinks, &directory_node::recursymlinks,
     &directory_node::total_symlinks},
    {"Devicefiles", "tdother", &directory_node::devices, &directory_node::recurdevices, &directory_node::total_devices},
};

void append_cell(std::string& page, const char* cell_class, int64_t value) {
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
    if (detailed) {
      append_cell(page, row.cell_class, node.*row.here);
      append_cell(page, row.cell_class, node.*row.below);
    }
    append_cell(page, row.cell_class, (node.*row.total)());
    page += "</tr>\r\n";
  }
  page += "</table>\r\n</div>\r\n";
}

}  // namespace quern
