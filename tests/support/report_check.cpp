#include "support/report_check.h"

#include <algorithm>

#include "base/text.h"
#include "support/counters.h"
#include "support/files.h"

namespace quern_test {

namespace {

bool is_name_character(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// The elements the report writes; a name that slipped through unescaped as
// one of these would still be caught by the tests that look for each name.
bool is_report_tag(std::string_view name) {
  for (std::string_view known : {"html", "head", "meta", "link", "title", "body", "h1", "div", "table", "tr", "td", "a",
                                 "br", "p", "span", "object"}) {
    if (name == known) return true;
  }
  return false;
}

size_t entity_length(std::string_view text) {
  for (std::string_view entity :
       {"&amp;", "&lt;", "&gt;", "&quot;", "&Uuml;", "&uuml;", "&Auml;", "&auml;", "&ndash;", "&ouml;", "&szlig;"}) {
    if (text.starts_with(entity)) return entity.size();
  }
  return 0;
}

// An entity XML knows without a declaration, or a character reference.
size_t xml_entity_length(std::string_view text) {
  for (std::string_view entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
    if (text.starts_with(entity)) return entity.size();
  }
  size_t at = 2;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  return text.starts_with("&#") && at > 2 && at < text.size() && text[at] == ';' ? at + 1 : 0;
}

bool is_xml_name_character(char c) { return is_name_character(c) || c == ':' || c == '-'; }

// Takes a share bar off the front of a cell; false where its width differs
// from the share that follows it ("&lt; 0,1 %" is a width of 0.0).
bool strip_share_bar(std::string& cell) {
  constexpr std::string_view opening = "<div class=\"sharebar\"><div class=\"sharefill\" style=\"width:";
  constexpr std::string_view closing = "%\"></div></div>";
  if (!cell.starts_with(opening)) return true;
  const size_t end = cell.find(closing);
  if (end == std::string::npos) return false;
  std::string width = cell.substr(opening.size(), end - opening.size());
  cell.erase(0, end + closing.size());
  std::replace(width.begin(), width.end(), '.', ',');
  return cell == "&lt; 0,1 %" ? width == "0,0" : cell == width + " %";
}

}  // namespace

std::string xml_fault(std::string_view text) {
  constexpr std::string_view declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
  if (!text.starts_with(declaration)) return "no XML declaration at the start";
  auto fault = [&text](const char* what, size_t at) {
    return std::string(what) + " at offset " + std::to_string(at) + ": " +
           std::string(text.substr(at > 40 ? at - 40 : 0, 80));
  };
  std::vector<std::string_view> open;
  bool root_seen = false;
  for (size_t i = declaration.size(); i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t length = quern::utf8_sequence(text, i);
      if (length == 0) return fault("byte of no UTF-8 character", i);
      i += length;
    } else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
      return fault("control byte", i);
    } else if (c == '&') {
      const size_t length = xml_entity_length(text.substr(i));
      if (length == 0) return fault("'&' that begins no entity", i);
      i += length;
    } else if (c == '>') {
      return fault("'>' in text", i);
    } else if (c != '<') {
      if (open.empty() && c != '\r' && c != '\n') return fault("text outside the root", i);
      ++i;
    } else {
      size_t j = i + 1;
      const bool closing = j < text.size() && text[j] == '/';
      if (closing) ++j;
      const size_t name_start = j;
      while (j < text.size() && is_xml_name_character(text[j])) ++j;
      const std::string_view name = text.substr(name_start, j - name_start);
      if (name.empty()) return fault("'<' that opens no tag", i);
      if (closing) {
        if (open.empty() || open.back() != name) return fault("end tag that closes no open element", i);
        open.pop_back();
      } else {
        if (open.empty() && root_seen) return fault("second root element", i);
        root_seen = true;
      }
      while (!closing && j < text.size() && text[j] == ' ') {
        ++j;
        while (j < text.size() && is_xml_name_character(text[j])) ++j;
        if (text.substr(j, 2) != "=\"") return fault("attribute without a quoted value", i);
        j += 2;
        const size_t end = text.find('"', j);
        if (end == std::string_view::npos) return fault("attribute value without its end", i);
        for (size_t v = j; v < end; ++v) {
          if (text[v] == '<' || (text[v] == '&' && xml_entity_length(text.substr(v)) == 0))
            return fault("markup character in an attribute value", v);
        }
        j = end + 1;
      }
      const bool empty_element = !closing && text.substr(j, 2) == "/>";
      if (empty_element) ++j;
      if (j >= text.size() || text[j] != '>') return fault("tag without its end", i);
      if (!closing && !empty_element) open.push_back(name);
      i = j + 1;
    }
  }
  if (!root_seen || !open.empty()) return "elements left open at the end";
  return "";
}

std::string markup_fault(std::string_view page) {
  const std::string_view doctype =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\"\r\n"
      " \"http://www.w3.org/TR/html4/loose.dtd\">";
  if (!page.starts_with(doctype)) return "no document type at the start";
  auto fault = [&page](const char* what, size_t at) {
    return std::string(what) + " at offset " + std::to_string(at) + ": " +
           std::string(page.substr(at > 40 ? at - 40 : 0, 80));
  };
  for (size_t i = doctype.size(); i < page.size();) {
    const char c = page[i];
    if (c == '&') {
      const size_t length = entity_length(page.substr(i));
      if (length == 0) return fault("'&' that begins no entity", i);
      i += length;
    } else if (c == '>' || c == '"') {
      return fault("markup character in text", i);
    } else if (c != '<') {
      ++i;
    } else {
      size_t j = i + 1;
      const bool closing = j < page.size() && page[j] == '/';
      if (closing) ++j;
      const size_t name_start = j;
      while (j < page.size() && is_name_character(page[j])) ++j;
      if (!is_report_tag(page.substr(name_start, j - name_start))) return fault("'<' that opens no known tag", i);
      while (!closing && j < page.size() && page[j] == ' ') {
        ++j;
        while (j < page.size() && (is_name_character(page[j]) || page[j] == '-')) ++j;
        if (page.substr(j, 2) != "=\"") return fault("attribute without a quoted value", i);
        j += 2;
        const size_t end = page.find('"', j);
        if (end == std::string_view::npos) return fault("attribute value without its end", i);
        for (size_t v = j; v < end; ++v) {
          if (page[v] == '<' || page[v] == '>' || (page[v] == '&' && entity_length(page.substr(v)) == 0)) {
            return fault("markup character in an attribute value", v);
          }
        }
        j = end + 1;
      }
      if (j >= page.size() || page[j] != '>') return fault("tag without its end", i);
      i = j + 1;
    }
  }
  return "";
}

std::vector<std::string> link_targets(std::string_view page) {
  std::vector<std::string> targets;
  for (size_t at = page.find("href=\""); at != std::string_view::npos; at = page.find("href=\"", at + 1)) {
    const size_t start = at + 6;
    targets.emplace_back(page.substr(start, page.find('"', start) - start));
  }
  return targets;
}

std::vector<std::string> cells_of_class(std::string_view page, std::string_view cell_class) {
  std::vector<std::string> cells;
  const std::string opening = "<td class=\"" + std::string(cell_class) + "\">";
  for (size_t at = page.find(opening); at != std::string_view::npos; at = page.find(opening, at + 1)) {
    const size_t start = at + opening.size();
    cells.emplace_back(page.substr(start, page.find("</td>", start) - start));
  }
  return cells;
}

bool parse_grouped(std::string_view text, quern::byte_total& value) {
  std::string digits;
  for (size_t i = 0; i < text.size(); ++i) {
    // A dot before every complete group of three digits counted from the right.
    const bool dot_here = (text.size() - i) % 4 == 0;
    if (dot_here != (text[i] == '.')) return false;
    if (!dot_here) digits += text[i];
  }
  return quern::parse_decimal(digits, value);
}

namespace {

// A change as the pages write it: "0", or a sign and a grouped number
// that is not zero; empty where it is unknown.
bool is_change(std::string_view text) {
  if (text.empty() || text == "0") return true;
  quern::byte_total magnitude;
  return (text[0] == '+' || text[0] == '-') && parse_grouped(text.substr(1), magnitude) &&
         magnitude != quern::byte_total();
}

// Where the pages show changes since an earlier report: every row, gone
// ones too, has a well-formed change beside the figures it changes, the
// statistics one per total, and a row that is gone shows no figures and no
// link.
std::string changes_fault(std::string_view page, size_t rows) {
  const size_t removed = cells_of_class(page, "tdlistremovedname").size();
  for (const char* cell_class : {"tdlistchangebytes", "tdlistchangefiles"}) {
    const std::vector<std::string> cells = cells_of_class(page, cell_class);
    if (!cells.empty() && cells.size() != rows + removed) return std::string("rows without a cell of ") + cell_class;
    for (const std::string& cell : cells) {
      if (!is_change(cell)) return std::string("not a change in ") + cell_class + ": " + cell;
    }
  }
  const std::vector<std::string> totals = cells_of_class(page, "tdchange");
  if (!totals.empty() && totals.size() != 5) return "statistics without a change for every total";
  for (const std::string& cell : totals) {
    if (!is_change(cell)) return "not a change in the statistics: " + cell;
  }
  for (const std::string& cell : cells_of_class(page, "tdlistremoved")) {
    if (!cell.empty()) return "a gone row shows a figure: " + cell;
  }
  for (const std::string& cell : cells_of_class(page, "tdlistremovedname")) {
    if (cell.find("<a ") != std::string::npos) return "a gone row links: " + cell;
  }
  return "";
}

}  // namespace

// Where the rows show their share of the directory's bytes: each is the
// row's bytes over the total, as a bar and as text; a row that is gone has
// none.
std::string shares_fault(std::string_view page, size_t removed) {
  const std::vector<std::string> shares = cells_of_class(page, "tdlistshare");
  if (shares.empty()) return "";
  const std::vector<std::string> bytes = cells_of_class(page, "tdlistbytes");
  const std::vector<std::string> totals_of_bytes = cells_of_class(page, "tdbytes");
  quern::byte_total total;
  if (totals_of_bytes.size() != 3 || !parse_grouped(totals_of_bytes[2], total)) return "no total of bytes";
  if (shares.size() != bytes.size() + removed) return "rows without a share";
  size_t row = 0;
  for (std::string share : shares) {
    if (share.empty()) continue;
    quern::byte_total part;
    if (row >= bytes.size() || !parse_grouped(bytes[row++], part)) return "a share without its bytes";
    if (total == quern::byte_total()) {
      if (share != "&ndash;") return "a share of no bytes: " + share;
      continue;
    }
    const uint64_t tenths = quern::share_in_tenths_of_a_percent(part, total);
    std::string text = share;
    if (!strip_share_bar(text)) return "a bar that is not as long as its share: " + share;
    const std::string expected = tenths == 0 && part != quern::byte_total()
                                     ? "&lt; 0,1 %"
                                     : std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " %";
    if (text != expected) return "a share that is not the row's part of the total: " + share;
  }
  return "";
}

std::string figures_fault(std::string_view page) {
  const size_t rows = cells_of_class(page, "tdlistname").size();
  if (std::string fault = changes_fault(page, rows); !fault.empty()) return fault;
  const size_t removed = cells_of_class(page, "tdlistremovedname").size();
  if (std::string fault = shares_fault(page, removed); !fault.empty()) return fault;
  for (const counter& count : kCounters) {
    const std::vector<std::string> cells = cells_of_class(page, count.cell);
    quern::byte_total here, below, total;
    if (cells.size() != 3 || !parse_grouped(cells[0], here) || !parse_grouped(cells[1], below) ||
        !parse_grouped(cells[2], total)) {
      return std::string("no detailed statistics for ") + count.cell;
    }
    if (here + below != total) return std::string("total is not here plus below for ") + count.cell;
    const std::vector<std::string> row_cells = cells_of_class(page, count.row_cell);
    if (row_cells.empty() && rows > 0) continue;  // column not shown
    if (row_cells.size() != rows) return std::string("rows without a cell of ") + count.row_cell;
    quern::byte_total sum;
    for (const std::string& cell : row_cells) {
      quern::byte_total value;
      if (!parse_grouped(cell, value)) return std::string("not a number in ") + count.row_cell + ": " + cell;
      sum += value;
    }
    if (sum != below) return std::string("rows do not add up to the count below for ") + count.cell;
    if (&count == &counter_of(order::subdirs) && here != quern::byte_total(rows)) {
      return "subdirectories here differ from the rows";
    }
  }
  return "";
}

namespace {

// The table of owners, or nothing where the page has none.
std::string_view owner_table(std::string_view page) {
  const size_t start = page.find("<div class=\"ownerstext\">");
  if (start == std::string_view::npos) return {};
  return page.substr(start, page.find("</table>", start) - start);
}

// Digits, a comma, one digit, a blank and the percent sign; after a share
// bar, where there is one, as long as the share says.
bool is_share(std::string text) {
  if (!strip_share_bar(text)) return false;
  const size_t comma = text.find(',');
  if (comma == 0 || comma == std::string::npos || text.size() != comma + 4 || !text.ends_with(" %")) return false;
  for (size_t at = 0; at <= comma + 1; ++at) {
    if (at != comma && (text[at] < '0' || text[at] > '9')) return false;
  }
  return true;
}

// A change as the pages show it, added to the gains or the losses.
bool add_change(const std::string& text, quern::byte_total& gains, quern::byte_total& losses) {
  quern::byte_total magnitude;
  if (text == "0") return true;
  if (text.size() < 2 || (text[0] != '+' && text[0] != '-') || !parse_grouped(text.substr(1), magnitude)) return false;
  (text[0] == '+' ? gains : losses) += magnitude;
  return true;
}

constexpr std::string_view kGoneMark = " <span class=\"mark\">entfernt</span>";

}  // namespace

std::string owners_fault(std::string_view page) {
  const std::string_view table = owner_table(page);
  if (table.empty()) return "";
  const std::vector<std::string> figures = totals(page);
  quern::byte_total total_bytes, total_files;
  if (!parse_grouped(figures[0], total_bytes) || !parse_grouped(figures[1], total_files))
    return "owners without the totals";
  const std::vector<std::string> names = cells_of_class(table, "tdownername");
  const std::vector<std::string> others = cells_of_class(table, "tdownerothers");
  const std::vector<std::string> bytes = cells_of_class(table, "tdownerbytes");
  const std::vector<std::string> files = cells_of_class(table, "tdownerfiles");
  const std::vector<std::string> shares = cells_of_class(table, "tdownershare");
  const std::vector<std::string> changes = cells_of_class(table, "tdownerchange");
  const size_t rows = names.size() + others.size();
  if (names.size() > 20 || others.size() > 1 || bytes.size() != rows || files.size() != rows || shares.size() != rows ||
      (!changes.empty() && changes.size() != rows))
    return "owners' rows without all their cells, or too many";
  // Whole tags: an escaped owner's name may spell a class, never a tag.
  if (!others.empty() && table.find("<td class=\"tdownerothers\">") < table.rfind("<td class=\"tdownername\">"))
    return "the row of all others is not the last";
  // Owners that are gone hold nothing and follow those that are here.
  size_t present = 0;
  while (present < names.size() && !names[present].ends_with(kGoneMark)) ++present;
  for (size_t row = present; row < names.size(); ++row) {
    if (!names[row].ends_with(kGoneMark) || !bytes[row].empty() || !files[row].empty() || !shares[row].empty() ||
        changes.empty() || !changes[row].starts_with('-'))
      return "a gone owner among those here, or with figures: " + names[row];
  }
  // Where every change is known, they add up to that of the totals.
  quern::byte_total gains, losses;
  bool all_known = !changes.empty();
  for (const std::string& change : changes) {
    if (change.empty()) {
      all_known = false;
    } else if (!add_change(change, gains, losses)) {
      return "not a change in the owners' table: " + change;
    }
  }
  const std::vector<std::string> total_changes = cells_of_class(page, "tdchange");
  quern::byte_total total_gains, total_losses;
  if (all_known && !total_changes.empty() && !total_changes[0].empty() &&
      add_change(total_changes[0], total_gains, total_losses) && gains + total_losses != losses + total_gains)
    return "owners' changes do not add up to the change of bytes";
  quern::byte_total byte_sum, file_sum;
  for (size_t row = 0; row < rows; ++row) {
    if (row >= present && row < names.size()) continue;
    quern::byte_total row_bytes, row_files, before;
    if (!parse_grouped(bytes[row], row_bytes) || !parse_grouped(files[row], row_files))
      return "not a number in the owners' row of " + (row < names.size() ? names[row] : others[0]);
    if (row > 0 && row < names.size() && parse_grouped(bytes[row - 1], before) && before < row_bytes)
      return "owners not largest first: " + names[row];
    byte_sum += row_bytes;
    file_sum += row_files;
    if (total_bytes == quern::byte_total() ? shares[row] != "&ndash;" : !is_share(shares[row]))
      return "not a share: " + shares[row];
  }
  if (byte_sum != total_bytes) return "owners' bytes do not add up to the total";
  if (file_sum != total_files) return "owners' files do not add up to the total";
  return "";
}

namespace {

// The table that begins with the heading, or nothing where the page has none.
std::string_view detail_table(std::string_view page, std::string_view heading) {
  const size_t at = page.find("<td class=\"tdheaddetail\">" + std::string(heading) + "</td>");
  if (at == std::string_view::npos) return {};
  const size_t start = page.rfind("<div class=\"detailstext\">", at);
  return page.substr(start, page.find("</table>", at) - start);
}

}  // namespace

std::string ages_fault(std::string_view page) {
  const std::string_view table = detail_table(page, "Letzte &Auml;nderung");
  if (table.empty()) return "";
  const std::vector<std::string> figures = totals(page);
  quern::byte_total total_bytes, total_files, byte_sum, file_sum;
  if (!parse_grouped(figures[0], total_bytes) || !parse_grouped(figures[1], total_files))
    return "ages without the totals";
  const std::vector<std::string> cells = cells_of_class(table, "tddetailnumber");
  const std::vector<std::string> labels = cells_of_class(table, "tddetailname");
  if (labels.empty()) return total_bytes == quern::byte_total() && total_files == quern::byte_total() ? "" : "no ages";
  const size_t columns = cells.size() / labels.size();
  if ((columns != 3 && columns != 4) || cells.size() % labels.size() != 0) return "ages' rows without all their cells";
  for (size_t row = 0; row < labels.size(); ++row) {
    const std::string& bytes = cells[row * columns];
    if (bytes.empty()) continue;  // a year that held bytes then only
    quern::byte_total row_bytes, row_files;
    if (!parse_grouped(bytes, row_bytes) || !parse_grouped(cells[row * columns + 1], row_files))
      return "not a number in the ages' row of " + labels[row];
    byte_sum += row_bytes;
    file_sum += row_files;
  }
  if (byte_sum != total_bytes || file_sum != total_files) return "ages do not add up to the totals";
  return "";
}

std::vector<std::string> totals(std::string_view page) {
  std::vector<std::string> last;
  for (const order by : {order::bytes, order::files, order::subdirs, order::links, order::others}) {
    const std::vector<std::string> cells = cells_of_class(page, counter_of(by).cell);
    last.push_back(cells.empty() ? "" : cells.back());
  }
  return last;
}

std::string without_time(const std::string& summary) {
  const std::string key = "\n#begun\t";
  const size_t start = summary.find(key);
  if (start == std::string::npos) return summary;
  const size_t end = summary.find('\n', start + key.size());
  return summary.substr(0, start + key.size()) + "TIME" + summary.substr(end);
}

std::map<std::string, std::string> read_report(const std::string& output_directory) {
  std::map<std::string, std::string> files;
  for (const std::string& name : list_directory(output_directory)) {
    const std::string text = read_file(output_directory + "/" + name);
    files[name] = name == "summary.txt" ? without_time(text) : text;
  }
  return files;
}

std::string report_fault(const std::string& output_directory) {
  const std::map<std::string, std::string> files = read_report(output_directory);
  std::string faults;
  size_t count = 0;
  for (const auto& [name, page] : files) {
    if (name.ends_with(".svg")) {
      std::string fault = xml_fault(page);
      for (const std::string& target : link_targets(page)) {
        if (fault.empty() && !files.contains(target)) fault = "link to no file of the output directory: " + target;
      }
      if (!fault.empty() && ++count <= 3) faults += name + ": " + fault + "\n";
      continue;
    }
    if (!name.ends_with(".html")) continue;
    std::string fault = markup_fault(page);
    for (size_t at = page.find("<object data=\""); fault.empty() && at != std::string::npos;
         at = page.find("<object data=\"", at + 1)) {
      const size_t start = at + 14;
      const std::string target(page.substr(start, page.find('"', start) - start));
      if (!files.contains(target)) fault = "picture that is no file of the output directory: " + target;
    }
    if (fault.empty() && name != "index.html") fault = figures_fault(page);
    if (fault.empty()) fault = owners_fault(page);
    if (fault.empty()) fault = ages_fault(page);
    for (const std::string& target : link_targets(page)) {
      if (!fault.empty() || target == "https://quern.example/") continue;
      if (!files.contains(target)) fault = "link to no file of the output directory: " + target;
    }
    if (fault.empty() && name == "index.html") {
      const std::vector<std::string> targets = link_targets(page);
      const std::string root_page = targets.size() > 1 ? targets[1] : "";
      if (!root_page.ends_with("_sn.html")) {
        fault = "no link to the root's page";
      } else if (totals(page) != totals(files.at(root_page))) {
        fault = "totals differ from those of " + root_page;
      } else if (owner_table(page) != owner_table(files.at(root_page))) {
        fault = "owners differ from those of " + root_page;
      }
    }
    if (!fault.empty() && ++count <= 3) faults += name + ": " + fault + "\n";
  }
  if (count > 3) faults += "and " + std::to_string(count - 3) + " more pages\n";
  return faults;
}

}  // namespace quern_test
