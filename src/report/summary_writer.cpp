#include "report/summary_writer.h"

#include <algorithm>
#include <cstring>

#include "report/age_table.h"
#include "report/summary_escaping.h"

namespace quern {

namespace {

// Large enough that writing costs few calls, small enough not to matter
// beside the tree.
constexpr size_t kBufferBytes = 64 * 1024;

bool name_before(const directory_node* a, const directory_node* b) { return std::strcmp(a->name, b->name) < 0; }

}  // namespace

status summary_writer::open(output_directory& directory, std::string_view name, const summary_header& header,
                            std::unique_ptr<summary_writer>& result, detail_ledger* ledger) {
  std::unique_ptr<output_file> file;
  const status created = directory.create_file(name, file);
  if (!created.is_ok()) return created;
  result = std::make_unique<summary_writer>(std::move(file), header, ledger);
  return status::ok();
}

summary_writer::summary_writer(std::unique_ptr<output_file> file, const summary_header& header, detail_ledger* ledger,
                               std::string_view final_name)
    : file_(std::move(file)),
      final_name_(final_name),
      ledger_(ledger),
      owners_(ledger != nullptr && ledger->options().owners),
      ages_(ledger != nullptr && ledger->options().ages) {
  summary_header written = header;
  written.owners = owners_;
  written.ages = ages_;
  append_summary_header(buffer_, written);
}

void summary_writer::add(const directory_node& node, bool listed, const subtree_details* details) {
  escaped_path_.clear();
  append_summary_path(escaped_path_, node);
  add(escaped_path_, figures_of(node, listed), details);
}

void summary_writer::add(std::string_view escaped_path, const summary_figures& figures,
                         const subtree_details* details) {
  std::optional<std::string_view> owners;
  std::optional<std::string_view> ages;
  if (owners_) owners = owners_value(details);
  if (ages_) ages = ages_value(details);
  append_summary_line(buffer_, escaped_path, figures, owners, ages);
  ++lines_;
  write_if_full();
}

const std::string& summary_writer::owners_value(const subtree_details* details) {
  owners_value_.clear();
  if (details == nullptr) {
    owners_value_ += kOwnersNotKept;
    return owners_value_;
  }
  const std::span<const keyed_share> owners = details->owners.shares();
  shares_.resize(owners.size());
  for (size_t at = 0; at < shares_.size(); ++at) {
    const keyed_share& share = owners[at];
    auto [named, first] = names_.try_emplace(share.key);
    if (first) named->second = ledger_->name(share.key);
    shares_[at].name = named->second;
    shares_[at].bytes = share.bytes;
    shares_[at].files = share.files;
  }
  append_summary_owners(owners_value_, shares_);
  return owners_value_;
}

const std::string& summary_writer::ages_value(const subtree_details* details) {
  ages_value_.clear();
  if (details == nullptr) {
    ages_value_ += kAgesNotKept;
    return ages_value_;
  }
  summary_ages_of(details->ages, *ledger_->options().ages, age_rows_);
  append_summary_ages(ages_value_, age_rows_);
  return ages_value_;
}

void summary_writer::write_if_full() {
  if (buffer_.size() >= kBufferBytes) write_buffer();
}

void summary_writer::write_buffer() {
  if (failure_.is_ok()) failure_ = file_->write(buffer_);
  buffer_.clear();
}

status summary_writer::finish() {
  append_summary_end(buffer_, lines_);
  write_buffer();
  if (failure_.is_ok()) failure_ = final_name_.empty() ? file_->close() : file_->close_as(final_name_);
  // Unfinished, it is removed.
  file_.reset();
  return failure_;
}

void output_report_summary(const report_context& context, directory_node* root, const summary_header& header) {
  std::unique_ptr<summary_writer> writer;
  detail_ledger* const ledger = context.ledger;
  status result = summary_writer::open(context.output, kSummaryFileName, header, writer, ledger);
  if (result.is_ok()) {
    writer->add(".", figures_of(*root, true), ledger != nullptr ? &ledger->details(root) : nullptr);
    // Depth first, as the pages are walked: each directory with pages, then
    // its rows, each followed by what lies below it.
    struct written_directory {
      directory_node* node;
      int64_t next;
      size_t path_length;
    };
    std::vector<written_directory> levels{{root, 0, 0}};
    std::string path;
    while (!levels.empty()) {
      written_directory& current = levels.back();
      directory_node* node = current.node;
      if (current.next == node->currentsubdirs()) {
        levels.pop_back();
        continue;
      }
      directory_node** children = node->subdirpointer;
      // The page by name leaves them so, unless a page could not be written.
      if (current.next == 0 && !std::is_sorted(children, children + node->subdirs, name_before))
        std::sort(children, children + node->subdirs, name_before);
      directory_node* child = children[current.next++];
      path.resize(current.path_length);
      if (node != root) path += '/';
      append_summary_escaped(path, child->name);
      const bool has_pages = child->currentsubdirs() > 0;
      const subtree_details* kept = ledger != nullptr && has_pages ? &ledger->details(child) : nullptr;
      writer->add(path, figures_of(*child, has_pages || child->subdirs == 0), kept);
      if (kept != nullptr) ledger->summary_written(child);
      if (has_pages) levels.push_back({child, 0, path.size()});
    }
    result = writer->finish();
  }
  if (!result.is_ok()) context.diag.report_failure(kSummaryFailure, result);
}

}  // namespace quern
