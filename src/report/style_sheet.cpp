#include "report/style_sheet.h"

#include <memory>

#include "report/age_table.h"
#include "report/owner_table.h"
#include "report/page_frame.h"
#include "report/share_bar.h"

namespace quern {

namespace {

// One rule per line, exactly as written to the file.
// clang-format off
constexpr std::string_view kStylesheet =
    "body { background-color:#f0f0f0; font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; font-color:#000000; margin: 10px 20px 20px 20px; border-width: 3px; }\r\n"
    "h1 { font-family:Arial,Helvetica,sans-serif; font-size:18px; font-weight:bold; color:#333366; text-align:left; margin: 20px 20px 20px 20px; padding: 0px 0px 0px 0px; }\r\n"
    "hr { border-bottom-style:solid; border-bottom-width:2px; border-bottom-color:#666699; margin:0px; }\r\n"
    ".footer { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#333366; text-align:center; border-top: solid; margin: 5px 5px 5px 5px; padding: 5px 5px 5px 5px; }\r\n"
    ".toplist { font-family:Arial,Helvetica,sans-serif; font-size:14px; font-weight:normal; color:#505000; text-align:left; margin: 0px 0px 0px 0px; padding: 10px 10px 10px 10px; border-top: solid; border-bottom: solid; }\r\n"
    ".toplistlink:link { color:#505000; }\r\n"
    ".toplistlink:visited { color:#505000; }\r\n"
    ".toplistlink:hover { none; color:#ffff00; background-color:#000000; }\r\n"
    ".toplistlink:active { none; color:#ffffff; background-color:#ff9900; }\r\n"
    ".overviewtabletext { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#000000; text-align:left; margin: 10px 10px 10px 10px; padding: 5px 5px 5px 5px; border-collapse: collapse; border-spacing: 5px; }\r\n"
    ".overviewtable { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#000000; text-align:left; margin: 10px 10px 10px 10px; padding: 5px 5px 5px 5px; border-collapse: collapse; border-spacing: 5px; }\r\n"
    ".overviewtablehead { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#000000; text-align:center; margin: 10px 10px 10px 10px; padding: 5px 5px 5px 5px; border-collapse: collapse; border-spacing: 5px; }\r\n"
    ".td01, .td02, .td03, .td04 { font-family:monospace; font-size:12px; font-weight:normal; color:#000000; text-align:right; padding: 5px 5px 5px 5px; border: solid; border-width: 1px; }\r\n"
    ".dirstatstext { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#000000; text-align:left; margin: 10px 10px 10px 10px; padding: 5px 5px 5px 5px; }\r\n"
    ".dirstatstable { font-family:Arial,Helvetica,sans-serif; font-size:12px; font-weight:normal; color:#000000; text-align:left; margin: 10px 10px 10px 10px; padding: 5px 5px 5px 5px; border-collapse: collapse; border-spacing: 5px; border: solid; border-width: 1px; }\r\n"
    ".tdinfo { font-family:Arial,Helvetica,sans-serif; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; }\r\n"
    ".tdbytes { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; }\r\n"
    ".tdfiles { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; }\r\n"
    ".tdname { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; }\r\n"
    ".tdsubdir { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; }\r\n"
    ".tdsymlink { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; }\r\n"
    ".tdother { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; }\r\n"
    ".tdlistinfo { font-family:Arial,Helvetica,sans-serif; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdlistbytes { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdlistfiles { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdlistname { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdlistsubdir { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdlistsymlink { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdlistother { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdheadlistbytes { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdheadlistfiles { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdheadlistname { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdheadlistsubdir { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdheadlistsymlink { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdheadlistother { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    "a { font-weight:bold; text-decoration: underline; color:#0000ff; padding: 0px 2px 0px 2px; }\r\n"
    "a:link { text-decoration:underline; color:#0000ff; }\r\n"
    "a:visited { text-decoration:underline; color:#0080f0; }\r\n"
    "a:hover { text-decoration: none; color:#ffff00; background-color:#000000; }\r\n"
    "a:active { text-decoration: none; color:#ffff00; background-color:#000000; }\r\n"
    "a:focus { text-decoration: none; color:#ffff00; background-color:#000000; }\r\n";

// The cells of the changes since an earlier report, and the rows of
// subdirectories that are new or gone, after the rules above.
constexpr std::string_view kChangeRules =
    ".tdchange { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; }\r\n"
    ".tdlistchangebytes { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdlistchangefiles { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; }\r\n"
    ".tdheadlistchangebytes { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdheadlistchangefiles { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: center; }\r\n"
    ".tdlistremovedname { font-family:monospace; border: solid; border-width: 1px; padding: 5px 5px 5px 5px; text-align: right; color:#666666; }\r\n"
    ".tdlistremoved { border: solid; border-width: 1px; padding: 5px 5px 5px 5px; }\r\n"
    "tr.new { background-color:#e0f0d8; }\r\n"
    "tr.removed { background-color:#e8e0e0; }\r\n"
    ".mark { font-family:Arial,Helvetica,sans-serif; font-style:italic; }\r\n";
// clang-format on

}  // namespace

void output_stylesheet(const report_context& context) {
  if (context.diag.shows(verbosity::operations))
    context.diag.write("*** try to create stylesheet " + context.options.outputdirectory + "/styles.css\r\n");
  std::unique_ptr<output_file> file;
  status result = context.output.create_file("styles.css", file);
  if (result.is_ok()) {
    std::string text(kStylesheet);
    const bool owners = context.options.owners;
    if (owners) text += owner_table_rules();
    if (context.earlier != nullptr) text += kChangeRules;
    if (owners && context.earlier != nullptr) text += owner_change_rules();
    if (context.options.ages || context.options.largest > 0) text += detail_table_rules();
    if (context.options.pictures) text += picture_rules();
    result = write_and_close(*file, text);
  }
  if (!result.is_ok()) context.diag.report_failure("Konnte Stylesheet nicht erstellen", result);
}

}  // namespace quern
