#include <windows.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "base/text.h"
#include "base/unfinished_files.h"
#include "base/wide_text.h"
#include "platform/file_system_win32.h"

namespace quern {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Every Windows error becomes the errno value whose text the runtime gives,
// here and nowhere else.
status from_error(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return status::error(ENOENT);
    case ERROR_DIRECTORY: return status::error(ENOTDIR);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_NETWORK_ACCESS_DENIED: return status::error(EACCES);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return status::error(EEXIST);
    case ERROR_FILENAME_EXCED_RANGE: return status::error(ENAMETOOLONG);
    case ERROR_TOO_MANY_OPEN_FILES: return status::error(EMFILE);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return status::error(ENOMEM);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return status::error(ENOSPC);
    case ERROR_WRITE_PROTECT: return status::error(EROFS);
    case ERROR_INVALID_PARAMETER: return status::error(EINVAL);
    default: return status::error(EIO);
  }
}

status last_error() { return from_error(GetLastError()); }

int64_t join_size(DWORD high, DWORD low) { return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low); }

// A file time, in 100-nanosecond steps since 1601, as seconds since 1970,
// rounded down.
int64_t unix_seconds(DWORD high, DWORD low) {
  constexpr int64_t kSteps = 10'000'000;
  constexpr int64_t kFrom1601To1970 = 11'644'473'600;
  const int64_t steps = join_size(high, low);
  return steps / kSteps - kFrom1601To1970;
}

std::wstring join(const std::wstring& directory, const char* name) {
  std::wstring path = directory;
  if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
  path += widen(name);
  return path;
}

// Closes the handle unless it is taken over.
class handle_owner {
 public:
  explicit handle_owner(HANDLE handle) : handle_(handle) {}
  ~handle_owner() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  handle_owner(const handle_owner&) = delete;
  handle_owner& operator=(const handle_owner&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE handle_;
};

// What the entry open through the handle is.
status stat_handle(HANDLE entry, entry_status& result) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(entry, &info)) return last_error();
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      !GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag)) {
    return last_error();
  }
  result.type = classify_win32_entry(info.dwFileAttributes, tag.ReparseTag);
  result.size = join_size(info.nFileSizeHigh, info.nFileSizeLow);
  result.modified = unix_seconds(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
  FILE_STANDARD_INFO standard{};
  if (!GetFileInformationByHandleEx(entry, FileStandardInfo, &standard, sizeof standard)) return last_error();
  result.allocated = standard.AllocationSize.QuadPart;
  result.device = info.dwVolumeSerialNumber;
  result.inode = static_cast<uint64_t>(join_size(info.nFileIndexHigh, info.nFileIndexLow));
  result.links = info.nNumberOfLinks;
  return status::ok();
}

// Opens the entry itself, never what a reparse point leads to, to ask what
// it is. Used only for names the listing did not hand out.
status stat_path(const std::wstring& path, entry_status& result) {
  const handle_owner entry(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (entry.get() == INVALID_HANDLE_VALUE) return last_error();
  return stat_handle(entry.get(), result);
}

// A directory open through a handle. Its listing already says what every
// entry is, so the status of a listed name is kept until it is asked for
// and costs no further call.
class win32_directory final : public open_directory {
 public:
  win32_directory(HANDLE handle, std::wstring path, uint64_t volume)
      : handle_(handle), path_(std::move(path)), volume_(volume) {}
  ~win32_directory() override { CloseHandle(handle_); }

  status read_names(name_list& names) override {
    if (ended_) return status::ok();
    // One buffer per thread: names are copied out before the call returns.
    alignas(FILE_ID_BOTH_DIR_INFO) thread_local unsigned char buffer[64 * 1024];
    if (!GetFileInformationByHandleEx(handle_, FileIdBothDirectoryInfo, buffer, sizeof buffer)) {
      if (GetLastError() != ERROR_NO_MORE_FILES) return last_error();
      ended_ = true;
      return status::ok();
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    for (size_t offset = 0;;) {
      const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
      std::string name = narrow(std::wstring_view(record->FileName, record->FileNameLength / sizeof(wchar_t)));
      // The extended-attribute size field holds the tag of a reparse point.
      const DWORD tag = (record->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? record->EaSize : 0;
      entry_status& entry = listed_[name];
      entry.type = classify_win32_entry(record->FileAttributes, tag);
      entry.size = record->EndOfFile.QuadPart;
      entry.allocated = record->AllocationSize.QuadPart;
      entry.modified = unix_seconds(static_cast<DWORD>(static_cast<uint64_t>(record->LastWriteTime.QuadPart) >> 32),
                                    static_cast<DWORD>(record->LastWriteTime.QuadPart));
      entry.device = volume_;
      entry.inode = static_cast<uint64_t>(record->FileId.QuadPart);
      entry.links = 1;  // the listing does not tell
      names.add(name);
      if (record->NextEntryOffset == 0) break;
      offset += record->NextEntryOffset;
    }
    return status::ok();
  }

  status stat_entry(const char* name, entry_status& result) override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (auto found = listed_.find(name); found != listed_.end()) {
        result = found->second;
        // Each name is asked for once; the map shrinks as the scan goes on.
        listed_.erase(found);
        return status::ok();
      }
    }
    return stat_path(join(path_, name), result);
  }

  status identity(uint64_t& device, uint64_t& inode) override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_, &info)) return last_error();
    device = volume_;
    inode = static_cast<uint64_t>(join_size(info.nFileIndexHigh, info.nFileIndexLow));
    return status::ok();
  }

  status open_subdirectory(const char* name, std::unique_ptr<open_directory>& result) override;

 private:
  HANDLE handle_;
  const std::wstring path_;
  const uint64_t volume_;
  bool ended_ = false;
  std::mutex mutex_;
  std::unordered_map<std::string, entry_status> listed_;
};

// Opens a directory for listing. Unless `follow` is set, a reparse point
// that leads elsewhere is refused rather than entered, even if it replaced
// the directory after it was listed.
status open_directory_handle(const std::wstring& path, bool follow, std::unique_ptr<open_directory>& result) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  handle_owner directory(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                                     nullptr, OPEN_EXISTING, flags, nullptr));
  if (directory.get() == INVALID_HANDLE_VALUE) return last_error();
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(directory.get(), &info)) return last_error();
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!follow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      !GetFileInformationByHandleEx(directory.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
    return last_error();
  }
  const bool is_directory =
      follow ? (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
             : classify_win32_entry(info.dwFileAttributes, tag.ReparseTag) == entry_status::kind::directory;
  if (!is_directory) return status::error(ENOTDIR);
  result = std::make_unique<win32_directory>(directory.release(), path, info.dwVolumeSerialNumber);
  return status::ok();
}

status win32_directory::open_subdirectory(const char* name, std::unique_ptr<open_directory>& result) {
  return open_directory_handle(join(path_, name), false, result);
}

// A new file in a directory held open. Others may delete it while it is
// open, so that a run ended from outside can remove it at once.
class win32_output_file final : public output_file {
 public:
  win32_output_file(const std::wstring& directory, std::string_view name)
      : directory_(directory), path_(join(directory, std::string(name).c_str())) {}
  ~win32_output_file() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (made_ && !finished_) remove(this);
  }

  status create() { return unfinished_.make(create_in, this); }

  // The bytes go out as they are: no runtime stands between that could add
  // a second carriage return before a line feed.
  status write(std::string_view bytes) override {
    while (!bytes.empty() && failure_.is_ok()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
      DWORD written = 0;
      if (!WriteFile(handle_, bytes.data(), chunk, &written, nullptr)) {
        failure_ = last_error();
      } else if (written == 0) {
        failure_ = status::error(EIO);
      }
      bytes.remove_prefix(written);
    }
    return failure_;
  }

  status close() override {
    const status closed = close_handle();
    if (!failure_.is_ok()) return failure_;
    if (closed.is_ok()) finish();
    return closed;
  }

  status close_as(std::string_view name) override {
    if (!failure_.is_ok()) return failure_;
    if (!FlushFileBuffers(handle_)) return last_error();
    if (const status closed = close_handle(); !closed.is_ok()) return closed;
    // Without MOVEFILE_REPLACE_EXISTING a name taken is left as it is.
    const std::wstring final_path = join(directory_, std::string(name).c_str());
    if (!MoveFileExW(path_.c_str(), final_path.c_str(), MOVEFILE_WRITE_THROUGH)) return last_error();
    finish();
    return status::ok();
  }

 private:
  static status create_in(void* context) {
    auto* file = static_cast<win32_output_file*>(context);
    file->handle_ = CreateFileW(file->path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file->handle_ == INVALID_HANDLE_VALUE) return last_error();
    file->made_ = true;
    return status::ok();
  }
  static void remove(const void* context) noexcept {
    DeleteFileW(static_cast<const win32_output_file*>(context)->path_.c_str());
  }

  status close_handle() {
    const BOOL closed = CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    return closed ? status::ok() : last_error();
  }
  void finish() {
    finished_ = true;
    unfinished_.finished();
  }

  const std::wstring& directory_;
  const std::wstring path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  status failure_;  // of the first write that failed
  bool made_ = false;
  bool finished_ = false;
  unfinished_file unfinished_{remove, this};
};

// A directory held open without sharing the right to delete it: while the
// run writes, nobody can rename it or remove it and put another in its
// place.
class win32_output_directory final : public output_directory {
 public:
  win32_output_directory(HANDLE handle, std::wstring path) : handle_(handle), path_(std::move(path)) {}
  ~win32_output_directory() override { CloseHandle(handle_); }

  status create_file(std::string_view name, std::unique_ptr<output_file>& result) override {
    auto file = std::make_unique<win32_output_file>(path_, name);
    const status created = file->create();
    if (created.is_ok()) result = std::move(file);
    return created;
  }

  status identity_of(std::string_view name, uint64_t& device, uint64_t& inode) override {
    entry_status entry;
    const status found =
        name == "." ? stat_handle(handle_, entry) : stat_path(join(path_, std::string(name).c_str()), entry);
    if (!found.is_ok()) return found;
    device = entry.device;
    inode = entry.inode;
    return status::ok();
  }

 private:
  HANDLE handle_;
  const std::wstring path_;
};

// Holds the directory at the path, which must be one and, unless `follow`
// is set, no reparse point.
status hold_directory(const std::wstring& path, bool follow, std::unique_ptr<output_directory>& result) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  handle_owner directory(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr));
  if (directory.get() == INVALID_HANDLE_VALUE) return last_error();
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(directory.get(), &info)) return last_error();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return status::error(ENOTDIR);
  if (!follow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return status::error(EPERM);
  result = std::make_unique<win32_output_directory>(directory.release(), path);
  return status::ok();
}

class win32_input_file final : public input_file {
 public:
  win32_input_file(HANDLE handle, bool owned) : handle_(handle), owned_(owned) {}
  ~win32_input_file() override {
    if (owned_) CloseHandle(handle_);
  }

  status read(char* buffer, size_t capacity, size_t& got) override {
    DWORD count = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(std::min<size_t>(capacity, 1u << 30)), &count, nullptr)) {
      // A pipe whose writer has gone is the end of the input.
      if (GetLastError() != ERROR_BROKEN_PIPE) return last_error();
      count = 0;
    }
    got = count;
    return status::ok();
  }

 private:
  HANDLE handle_;
  bool owned_;
};

class win32_file_system final : public file_system {
 public:
  // The root is given by the user and may itself be a junction or a link to
  // a directory; it is followed, everything below it is not.
  status open_directory_at_path(const std::string& path, std::unique_ptr<open_directory>& result) override {
    std::wstring wide;
    const status converted = extended_length_path(path, wide);
    if (!converted.is_ok()) return converted;
    return open_directory_handle(wide, true, result);
  }

  // Windows directories carry no permission bits.
  status make_output_directory(const std::string& path, std::unique_ptr<output_directory>& result) override {
    std::wstring wide;
    const status converted = extended_length_path(path, wide);
    if (!converted.is_ok()) return converted;
    if (!CreateDirectoryW(wide.c_str(), nullptr)) return last_error();
    return hold_directory(wide, false, result);
  }

  status open_directory_of(const std::string& file_path, std::unique_ptr<output_directory>& result,
                           std::string& name) override {
    const size_t separator = file_path.find_last_of("/\\:");
    name = separator == std::string::npos ? file_path : file_path.substr(separator + 1);
    if (name.empty() || is_dot_or_dot_dot(name)) return status::error(EISDIR);
    std::string directory = separator == std::string::npos ? "." : file_path.substr(0, separator + 1);
    std::wstring wide;
    const status converted = extended_length_path(directory, wide);
    if (!converted.is_ok()) return converted;
    return hold_directory(wide, true, result);
  }

  status open_input_file(const std::string& path, std::unique_ptr<input_file>& result) override {
    std::wstring wide;
    const status converted = extended_length_path(path, wide);
    if (!converted.is_ok()) return converted;
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return last_error();
    result = std::make_unique<win32_input_file>(handle, true);
    return status::ok();
  }

  // Read as bytes: no runtime turns CR LF into LF on the way.
  std::unique_ptr<input_file> standard_input() override {
    return std::make_unique<win32_input_file>(GetStdHandle(STD_INPUT_HANDLE), false);
  }
};

}  // namespace

entry_status::kind classify_win32_entry(uint32_t attributes, uint32_t reparse_tag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (reparse_tag == 0 || IsReparseTagNameSurrogate(reparse_tag)))
    return entry_status::kind::skipped;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return entry_status::kind::skipped;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return entry_status::kind::directory;
  return entry_status::kind::regular;
}

status extended_length_path(const std::string& path, std::wstring& result) {
  const std::wstring wide = widen(path);
  if (wide.empty()) return status::error(ENOENT);
  if (wide.starts_with(L"\\\\?\\")) {
    result = wide;
    return status::ok();
  }
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return last_error();
    // Too small a buffer yields the size needed, terminator included.
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);
  }
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) {
    result = full;  // a device path stays as it is
  } else if (full.starts_with(L"\\\\")) {
    result = L"\\\\?\\UNC\\" + full.substr(2);
  } else {
    result = L"\\\\?\\" + full;
  }
  return status::ok();
}

file_system& platform_file_system() {
  static win32_file_system instance;
  return instance;
}

bool platform_has_links_and_devices() { return false; }

// The directory listing gives no link counts.
bool platform_counts_hard_links() { return false; }

}  // namespace quern
