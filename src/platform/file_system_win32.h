#pragma once

#include <cstdint>
#include <string>

#include "base/status.h"
#include "platform/file_system.h"

namespace quern {

// The two decisions of the Windows file system that its tests check apart
// from a real volume.

// What a Windows directory entry counts as, from its attributes and, for a
// reparse point, its tag. Links are not followed: a reparse point that
// stands for another name (a junction, a symbolic link, a mount point) is
// skipped, and so is one whose tag is unknown. Other reparse points hold
// their own data and count like any file or directory.
entry_status::kind classify_win32_entry(uint32_t attributes, uint32_t reparse_tag);

// The path as the wide-character API is given it: made absolute against the
// current directory (of its drive, for "C:name"), with backslashes, in the
// extended-length form ("\\?\C:\...", "\\?\UNC\server\share\...") that
// lifts the classic limit of 260 characters. A path already in that form is
// kept as it is.
status extended_length_path(const std::string& path, std::wstring& result);

}  // namespace quern
