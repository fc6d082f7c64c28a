#include "report/dir_stats.h"

#include "base/text.h"
#include "report/figures.h"
#include "report/page_frame.h"

namespace quern {

void append_gap_marks(std::string& out, uint8_t gaps) {
  if ((gaps & kGapUnread) != 0) out += " <span class=\"gapmark\">nicht lesbar</span>";
  if ((gaps & kGapNotEntered) != 0) out += " <span class=\"gapmark\">nicht betreten</span>";
  if ((gaps & kGapBelow) != 0) out += " <span class=\"gapmark\">darunter unvollst&auml;ndig</span>";
}

void output_dir_stats(std::string& page, const directory_node& node, bool detailed, const totals_change* change,
                      bool marks) {
  page += "<div class=\"dirstatstext\">\r\n<table class=\"dirstatstable\">\r\n<tr>\r\n";
  if (marks && node.gaps != 0) {
    page += " <td class=\"tdinfo\">";
    append_gap_marks(page, node.gaps);
    page += "</td>\r\n";
  } else {
    page += " <td></td>\r\n";
  }
  if (detailed) {
    page +=
        " <td class=\"tdinfo\">In diesem Verzeichnis</td>\r\n"
        " <td class=\"tdinfo\">Nur in den Unterverzeichnissen</td>\r\n";
  }
  page += " <td class=\"tdinfo\">Gesamt inkl. Unterverzeichnisse</td>\r\n";
  if (change != nullptr) page += " <td class=\"tdinfo\">&Auml;nderung</td>\r\n";
  page += "</tr>\r\n";
  for (size_t index = 0; index < kFigureCount; ++index) {
    const figure& f = kFigures[index];
    page += "<tr>\r\n <td class=\"tdinfo\">";
    page += f.label;
    page += "</td>\r\n";
    const byte_total here = f.own(node);
    const byte_total below = f.below(node);
    if (detailed) {
      append_cell(page, f.cell_class, dotted(here));
      append_cell(page, f.cell_class, dotted(below));
    }
    append_cell(page, f.cell_class, dotted(here + below));
    if (change != nullptr)
      append_cell(page, "tdchange", change->knows(index) ? dotted_change(change->of[index]) : std::string());
    page += "</tr>\r\n";
  }
  page += "</table>\r\n</div>\r\n";
}

}  // namespace quern
