#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/status.h"
#include "platform/file_system.h"
#include "report/report_context.h"
#include "report/summary_format.h"
#include "tree/directory_node.h"
#include "tree/subtree_details.h"

namespace quern {

// What a summary that could not be written is reported as.
inline constexpr const char* kSummaryFailure = "Konnte Zusammenfassung nicht erstellen";

// A summary being written. Lines are gathered in a buffer of bounded size,
// so that a summary of any tree costs little memory. The first failure
// ends the writing.
class summary_writer {
 public:
  // Creates the new file `name` in the directory, with the header. With a
  // ledger that counts them, lines have the owners column, its owners named
  // by the ledger, and the ages column.
  static status open(output_directory& directory, std::string_view name, const summary_header& header,
                     std::unique_ptr<summary_writer>& result, detail_ledger* ledger = nullptr);
  // Takes a file made and begins it with the header. With a final name,
  // the file takes that name once it is whole.
  summary_writer(std::unique_ptr<output_file> file, const summary_header& header, detail_ledger* ledger,
                 std::string_view final_name = {});

  // A line for the directory, its path composed from its parents' names;
  // its owners and ages, where the lines have them, are those of the
  // details given or, with none, not kept.
  void add(const directory_node& node, bool listed, const subtree_details* details = nullptr);
  void add(std::string_view escaped_path, const summary_figures& figures, const subtree_details* details = nullptr);

  // Writes the closing line and closes the file, under its final name if
  // it has one. Returns the first failure; the file is then removed, so
  // that no summary without its end stays.
  status finish();

 private:
  void write_if_full();
  void write_buffer();
  const std::string& owners_value(const subtree_details* details);
  const std::string& ages_value(const subtree_details* details);

  std::unique_ptr<output_file> file_;
  std::string final_name_;
  status failure_;
  std::string buffer_;
  std::string escaped_path_;
  uint64_t lines_ = 0;
  detail_ledger* ledger_;
  bool owners_ = false;
  bool ages_ = false;
  // Each owner is asked for its name once per summary.
  std::unordered_map<owner_id, std::string> names_;
  std::vector<summary_owner> shares_;
  std::string owners_value_;
  std::vector<summary_age> age_rows_;
  std::string ages_value_;
};

// Writes summary.txt into the output directory: a line for every directory
// that has pages and for every row of them, in the order of the pages (a
// directory before those below it, subdirectories by name). Leaves the
// children of every directory with pages in name order. Where owners or
// ages are shown, the root and the directories with pages have them, from
// the details the ledger kept for it and now gives back. A failure is
// reported and counted; the run goes on.
void output_report_summary(const report_context& context, directory_node* root, const summary_header& header);

}  // namespace quern
