#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "platform/file_system.h"

namespace quern {

// A listing of the entries of a tree, as `find ROOT -printf '%y %s %p\0'`
// writes it: per entry a type letter, a blank, the size in bytes, a blank
// and the path, ended by the terminator. An owner and a blank may come
// before the path, in every record or in none.
// The fields of a record before its path, in order, where they are
// declared: also a time of last change as `find -printf '%T@'` writes it
// (seconds since 1970 with a fraction) and the allocated blocks ('%b',
// 512-byte units). An owner, if any, comes last, for it may hold blanks.
enum class listing_field : uint8_t { type, size, time, blocks, owner };

struct listing_source {
  std::string path;  // "-" reads standard input
  char terminator = '\0';
  // Undeclared: a type, a size and, as the first record tells, an owner.
  std::optional<std::vector<listing_field>> fields = std::nullopt;

  bool has(listing_field field) const;
};

// Reads a declaration such as "type,size,time,blocks,owner": each field at
// most once, type and size always, an owner only last.
std::optional<std::vector<listing_field>> parse_listing_fields(std::string_view text);

// How the listing is taken in: in blocks of this many bytes, and a record
// may grow to the longest size before it is given up as malformed.
struct listing_buffer_sizes {
  size_t block = size_t{1} << 20;
  size_t longest_record = size_t{64} << 20;
};

// The root as listed paths begin with it.
std::string_view without_trailing_slashes(std::string_view path);

// Whether the path is the root's or lies below it; the root is given
// without trailing slashes.
bool lies_in_root(std::string_view path, std::string_view root);

// Where an owner ends in what follows a record's size: at the first blank
// that a path of the root follows. User names may hold blanks ("domain
// users"), but never a "/". npos where there is no such blank.
size_t owner_end(std::string_view rest, std::string_view root);

// Whether the record, without its terminator, carries an owner between its
// size and its path, as `find -printf '%y %s %U %p\0'` or '%u' writes it:
// what follows the size is no path of the root, but what follows the
// owner is.
bool names_owner(std::string_view record, std::string_view root);

// A listing opened, and its first record read, before anything is written,
// so that a listing that holds no record, or not the owners asked for, is a
// mistake on the command line. Reading it yields what was read to decide
// first.
struct opened_listing {
  std::unique_ptr<input_file> input;  // null when it could not be opened
  status opened;
  // Whether the records carry owners, as the first one tells; nothing when
  // no first record came whole: the listing was empty, broke off or began
  // with a record longer than any kept.
  std::optional<bool> owner_field;
  // The listing ended, or could not be read, before its first record was
  // whole: `find ROOT` always lists ROOT first, so it lists no tree.
  bool ended_before_record = false;
  status first_read;
};

opened_listing open_listing(const listing_source& source, std::string_view root_path, file_system& files,
                            size_t longest_record);

}  // namespace quern
