#include "report/summary_writer.h"

#include <algorithm>
#include <cstring>

#include "report/summary_escaping.h"

namespace quern {

namespace {

// Large enough that writing costs few calls, small enough not to matter
// beside the tree.
constexpr size_t kBufferBytes = 64 * 1024;

bool name_before(const directory_node* a, const directory_node* b) { return std::strcmp(a->name, b->name) < 0; }

}  // namespace

status summary_writer::open(output_directory& directory, std::string_view name, const summary_header& header,
                            std::unique_ptr<summary_writer>& result, owner_ledger* owners) {
  std::unique_ptr<output_file> file;
  const status created = directory.create_file(name, file);
  if (!created.is_ok()) return created;
  result = std::make_unique<summary_writer>(std::move(file), header, owners);
  return status::ok();
}

summary_writer::summary_writer(std::unique_ptr<output_file> file, const summary_header& header, owner_ledger* owners,
                               std::string_view final_name)
    : file_(std::move(file)), final_name_(final_name), owners_(owners) {
  summary_header written = header;
  written.owners = owners != nullptr;
  append_summary_header(buffer_, written);
}

void summary_writer::add(const directory_node& node, bool listed, const owner_figures* owners) {
  escaped_path_.clear();
  append_summary_path(escaped_path_, node);
  add(escaped_path_, figures_of(node, listed), owners);
}

void summary_writer::add(std::string_view escaped_path, const summary_figures& figures, const owner_figures* owners) {
  if (owners_ != nullptr) {
    append_summary_line(buffer_, escaped_path, figures, owners_value(owners));
  } else {
    append_summary_line(buffer_, escaped_path, figures);
  }
  ++lines_;
  write_if_full();
}

const std::string& summary_writer::owners_value(const owner_figures* figures) {
  owners_value_.clear();
  if (figures == nullptr) {
    owners_value_ += kOwnersNotKept;
    return owners_value_;
  }
  shares_.resize(figures->shares().size());
  for (size_t at = 0; at < shares_.size(); ++at) {
    const owner_share& share = figures->shares()[at];
    auto [named, first] = names_.try_emplace(share.owner);
    if (first) named->second = owners_->name(share.owner);
    shares_[at].name = named->second;
    shares_[at].bytes = share.bytes;
    shares_[at].files = share.files;
  }
  append_summary_owners(owners_value_, shares_);
  return owners_value_;
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
  owner_ledger* const owners = context.owners;
  status result = summary_writer::open(context.output, kSummaryFileName, header, writer, owners);
  if (result.is_ok()) {
    writer->add(".", figures_of(*root, true), owners != nullptr ? &owners->figures(root) : nullptr);
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
      const owner_figures* kept = owners != nullptr && has_pages ? &owners->figures(child) : nullptr;
      writer->add(path, figures_of(*child, has_pages || child->subdirs == 0), kept);
      if (kept != nullptr) owners->summary_written(child);
      if (has_pages) levels.push_back({child, 0, path.size()});
    }
    result = writer->finish();
  }
  if (!result.is_ok()) context.diag.report_failure(kSummaryFailure, result);
}

}  // namespace quern
