#include "tree/directory_reader.h"

#include "base/text.h"

namespace quern {

bool to_enter(const directory_contents& contents, size_t index) {
  const pending_entry& entry = contents.pending[index];
  return entry.type == entry_status::kind::directory && entry.error_number == 0 && !entry.elsewhere &&
         !is_dot_or_dot_dot(contents.names.view(index));
}

namespace {

bool passes_over_entries(open_directory& directory, const passed_over_entries& passed_over) {
  if (passed_over.accepts == nullptr) return false;
  uint64_t device = 0;
  uint64_t inode = 0;
  return directory.identity(device, inode).is_ok() && device == passed_over.device && inode == passed_over.inode;
}

}  // namespace

void note_root_file_system(open_directory& root, read_options& options) {
  if (!options.one_file_system) return;
  uint64_t inode = 0;
  root.identity(options.file_system, inode);
}

void directory_contents::clear() {
  files = symlinks = devices = entries = 0;
  size = byte_total();
  names.clear();
  pending.clear();
  linked_files.clear();
  subdirectories = 0;
  listing_failure = status::ok();
  details.clear();
}

size_t directory_contents::footprint() const {
  return sizeof(*this) + names.footprint() + pending.capacity() * sizeof(pending_entry) +
         linked_files.capacity() * sizeof(linked_file) + details.footprint() + largest.footprint();
}

void read_directory(open_directory& directory, const read_options& options, directory_contents& contents) {
  contents.clear();
  contents.largest.reset(options.details.largest);
  const bool passing_over = passes_over_entries(directory, options.passed_over);
  thread_local name_list batch;
  bool searchable = false;
  bool has_dots = false;
  for (;;) {
    batch.clear();
    const status read = directory.read_names(batch);
    for (size_t i = 0; i < batch.size(); ++i) {
      const std::string_view name(batch[i], batch.length(i));
      if (passing_over && options.passed_over.accepts(name)) continue;
      if (is_dot_or_dot_dot(name)) {
        // Settled once the listing has ended; see below.
        has_dots = true;
        contents.names.add(name);
        contents.pending.push_back({.type = entry_status::kind::directory});
        continue;
      }
      entry_status entry;
      const status outcome = directory.stat_entry(name.data(), entry);
      if (outcome.is_ok() && options.passed_over.file && entry.inode == options.passed_over.file_inode &&
          entry.device == options.passed_over.file_device)
        continue;
      ++contents.entries;
      bool keep = options.trace_every_entry || !outcome.is_ok();
      pending_entry waiting{.type = entry.type, .error_number = outcome.error_number()};
      if (outcome.is_ok()) {
        searchable = true;
        const uint64_t bytes = static_cast<uint64_t>(options.allocated ? entry.allocated : entry.size);
        switch (entry.type) {
          case entry_status::kind::directory:
            waiting.elsewhere = options.one_file_system && entry.device != options.file_system;
            if (!waiting.elsewhere) ++contents.subdirectories;
            keep = true;
            break;
          case entry_status::kind::symlink:
            contents.symlinks += 1;
            contents.size.add(bytes);
            contents.details.count(options.details, entry.owner, entry.modified, bytes, 0);
            keep = keep || options.trace_links_and_others;
            break;
          case entry_status::kind::regular:
            if (options.hard_links_once && entry.links > 1) {
              waiting.linked = true;
              contents.linked_files.push_back(
                  {entry.device, entry.inode, static_cast<int64_t>(bytes), entry.owner, entry.modified});
              keep = true;
              break;
            }
            contents.files += 1;
            contents.size.add(bytes);
            contents.details.count(options.details, entry.owner, entry.modified, bytes, 1);
            contents.largest.offer(name, bytes, entry.modified, entry.owner);
            break;
          case entry_status::kind::other:
            contents.devices += 1;
            keep = keep || options.trace_links_and_others;
            break;
          case entry_status::kind::skipped: break;
        }
      }
      if (!keep) continue;
      contents.names.add(name);
      contents.pending.push_back(waiting);
    }
    if (!read.is_ok()) {
      contents.listing_failure = read;
      break;
    }
    if (batch.size() == 0) break;
  }
  // "." and ".." can be stat'ed exactly when the directory can be searched,
  // and one other entry stat'ed shows that it can.
  if (!has_dots || searchable) return;
  for (size_t i = 0; i < contents.pending.size(); ++i) {
    if (!is_dot_or_dot_dot(contents.names.view(i))) continue;
    entry_status entry;
    contents.pending[i].error_number = directory.stat_entry(contents.names[i], entry).error_number();
  }
}

}  // namespace quern
