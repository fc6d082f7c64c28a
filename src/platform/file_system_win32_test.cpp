#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <thread>
#include <tuple>
#include <vector>

#include "base/wide_text.h"
#include "platform/file_system_win32.h"

namespace quern {
namespace {

using kind = entry_status::kind;

std::wstring current_directory() {
  std::wstring directory(GetCurrentDirectoryW(0, nullptr), L'\0');
  directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
  return directory;
}

std::wstring extended(const std::string& path) {
  std::wstring result;
  const status converted = extended_length_path(path, result);
  EXPECT_TRUE(converted.is_ok()) << path << ": " << converted.description();
  return result;
}

TEST(Win32Paths, EveryFormOfPathBecomesOneExtendedLengthPath) {
  const std::wstring cwd = current_directory();
  const std::wstring drive = cwd.substr(0, 2);
  EXPECT_EQ(extended("a/b"), L"\\\\?\\" + cwd + L"\\a\\b");
  EXPECT_EQ(extended(narrow(drive) + "rel/x"), L"\\\\?\\" + cwd + L"\\rel\\x");  // drive-relative
  EXPECT_EQ(extended("/top\\x/"), L"\\\\?\\" + drive + L"\\top\\x\\");           // root of the current drive
  EXPECT_EQ(extended("C:\\x\\..\\y/z"), L"\\\\?\\C:\\y\\z");
  EXPECT_EQ(extended("\\\\server\\share\\a\\..\\b"), L"\\\\?\\UNC\\server\\share\\b");
  EXPECT_EQ(extended("//server/share/c"), L"\\\\?\\UNC\\server\\share\\c");
  EXPECT_EQ(extended("\\\\?\\C:\\kept/as\\..\\is"), L"\\\\?\\C:\\kept/as\\..\\is");
  EXPECT_EQ(extended("C:\\\xCE\xA9\xE6\x97\xA5"), L"\\\\?\\C:\\\x3A9\x65E5");
  std::wstring unused;
  EXPECT_EQ(extended_length_path("", unused).error_number(), ENOENT);
}

TEST(Win32Entries, LinksAndDevicesAreSkippedAndOtherReparsePointsCountByTheirAttributes) {
  constexpr uint32_t kSymlinkTag = 0xA000000C;     // IO_REPARSE_TAG_SYMLINK
  constexpr uint32_t kMountPointTag = 0xA0000003;  // junctions and mounted volumes
  constexpr uint32_t kDedupTag = 0x80000013;       // IO_REPARSE_TAG_DEDUP
  constexpr uint32_t kCloudTag = 0x9000001A;       // IO_REPARSE_TAG_CLOUD_1
  constexpr uint32_t kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
  constexpr uint32_t kDirectory = FILE_ATTRIBUTE_DIRECTORY;
  const std::tuple<uint32_t, uint32_t, kind> cases[] = {
      {FILE_ATTRIBUTE_ARCHIVE, 0, kind::regular},
      {FILE_ATTRIBUTE_NORMAL, 0, kind::regular},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SPARSE_FILE, 0, kind::regular},
      {kDirectory, 0, kind::directory},
      {kDirectory | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM, 0, kind::directory},
      {kDirectory | kReparse, kMountPointTag, kind::skipped},
      {kDirectory | kReparse, kSymlinkTag, kind::skipped},
      {kReparse, kSymlinkTag, kind::skipped},
      {kDirectory | kReparse, 0, kind::skipped},  // a tag the listing did not give
      {kReparse, kDedupTag, kind::regular},
      {kReparse | FILE_ATTRIBUTE_OFFLINE, kCloudTag, kind::regular},
      {kDirectory | kReparse, kCloudTag, kind::directory},
      {FILE_ATTRIBUTE_DEVICE, 0, kind::skipped}};
  for (const auto& [attributes, tag, expected] : cases)
    EXPECT_EQ(classify_win32_entry(attributes, tag), expected) << std::hex << attributes << " " << tag;
}

void remove_tree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        remove_tree(path + L"\\" + name);
      else
        DeleteFileW((path + L"\\" + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

// A fresh directory below the temporary directory, removed with its
// contents. Its path is UTF-8, as Quern carries paths.
class scratch_directory {
 public:
  scratch_directory() {
    wchar_t base[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, base);
    path_ = narrow(std::wstring_view(base, length)) + "quern-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount64());
    EXPECT_TRUE(CreateDirectoryW(extended(path_).c_str(), nullptr));
  }
  ~scratch_directory() { remove_tree(extended(path_)); }
  scratch_directory(const scratch_directory&) = delete;
  scratch_directory& operator=(const scratch_directory&) = delete;
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Sparse where the volume allows, so that a large size costs no space.
void make_file(const std::string& path, int64_t size) {
  const HANDLE file =
      CreateFileW(extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD ignored = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = size;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
}

std::vector<std::string> read_all_names(open_directory& directory) {
  name_list names;
  for (size_t before = SIZE_MAX; before != names.size();) {
    before = names.size();
    EXPECT_TRUE(directory.read_names(names).is_ok());
  }
  std::vector<std::string> result;
  for (size_t i = 0; i < names.size(); ++i) result.emplace_back(names[i]);
  std::sort(result.begin(), result.end());
  return result;
}

const std::string kGreekJapanese = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE6\x97\xA5\xE6\x9C\xAC";
constexpr int64_t kFiveGiB = int64_t{5} << 30;

TEST(Win32FileSystem, ListsNamesOutsideTheCodePageWithLargeSizesAndAnswersFromSeveralThreads) {
  scratch_directory scratch;
  file_system& files = platform_file_system();
  ASSERT_TRUE(CreateDirectoryW(extended(scratch / "sub").c_str(), nullptr));
  make_file(scratch / kGreekJapanese, kFiveGiB);

  std::unique_ptr<open_directory> directory;
  ASSERT_TRUE(files.open_directory_at_path(scratch.path(), directory).is_ok());
  // Asked before the listing, the answer comes from the entry itself.
  entry_status before;
  ASSERT_TRUE(directory->stat_entry(kGreekJapanese.c_str(), before).is_ok());
  EXPECT_EQ(read_all_names(*directory), (std::vector<std::string>{".", "..", "sub", kGreekJapanese}));
  EXPECT_TRUE(read_all_names(*directory).empty());

  // Several threads at once, each asking for every name, so that some are
  // answered from the listing and some from the entries themselves.
  std::map<std::string, entry_status> seen[4];
  std::vector<std::thread> threads;
  for (auto& results : seen) {
    threads.emplace_back([&directory, &results] {
      for (const std::string& name : {std::string("sub"), kGreekJapanese}) {
        EXPECT_TRUE(directory->stat_entry(name.c_str(), results[name]).is_ok());
        std::unique_ptr<open_directory> child;
        EXPECT_EQ(directory->open_subdirectory(name.c_str(), child).is_ok(), name == "sub");
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& results : seen) {
    const entry_status& file = results.at(kGreekJapanese);
    const entry_status& sub = results.at("sub");
    EXPECT_EQ(file.type, kind::regular);
    EXPECT_EQ(file.size, kFiveGiB);
    EXPECT_EQ(sub.type, kind::directory);
    EXPECT_EQ(file.device, sub.device);
    EXPECT_NE(file.inode, sub.inode);
    EXPECT_EQ(file.type, before.type);
    EXPECT_EQ(file.size, before.size);
    EXPECT_EQ(file.device, before.device);
    EXPECT_EQ(file.inode, before.inode);
    // The listing's times and space and the entry's own agree, and the
    // file was written just now, in seconds since 1970.
    EXPECT_EQ(file.modified, before.modified);
    EXPECT_EQ(file.allocated, before.allocated);
    EXPECT_LE(file.allocated, kFiveGiB);
    EXPECT_LT(std::llabs(file.modified - static_cast<int64_t>(std::time(nullptr))), 86400);
  }
}

// Failures of the calls relative to an open directory; those given whole
// paths are seen from the command line.
TEST(Win32FileSystem, FailuresRelativeToADirectoryCarryTheRuntimesErrorNumbers) {
  scratch_directory scratch;
  make_file(scratch / "file", 1);
  std::unique_ptr<open_directory> directory;
  ASSERT_TRUE(platform_file_system().open_directory_at_path(scratch.path(), directory).is_ok());
  std::unique_ptr<open_directory> child;
  EXPECT_EQ(directory->open_subdirectory("file", child).error_number(), ENOTDIR);
  EXPECT_EQ(directory->open_subdirectory("missing", child).error_number(), ENOENT);
  entry_status entry;
  EXPECT_EQ(directory->stat_entry("missing", entry).error_number(), ENOENT);
}

// The output directory is held so that nobody can rename it or put another
// in its place while the run writes; a name is never taken over, and a
// file is whole under its name or not there at all.
TEST(Win32FileSystem, TheOutputDirectoryIsHeldAndItsFilesAreWholeOrNotThere) {
  scratch_directory scratch;
  std::unique_ptr<output_directory> held;
  ASSERT_TRUE(platform_file_system().make_output_directory(scratch / "out", held).is_ok());
  EXPECT_FALSE(MoveFileW(extended(scratch / "out").c_str(), extended(scratch / "moved").c_str()));
  std::unique_ptr<output_directory> again;
  EXPECT_EQ(platform_file_system().make_output_directory(scratch / "out", again).error_number(), EEXIST);

  std::unique_ptr<output_file> file;
  ASSERT_TRUE(held->create_file("page", file).is_ok());
  ASSERT_TRUE(file->write("whole").is_ok());
  ASSERT_TRUE(file->close().is_ok());
  EXPECT_EQ(held->create_file("page", file).error_number(), EEXIST);
  ASSERT_TRUE(held->create_file("cut", file).is_ok());
  ASSERT_TRUE(file->write("half").is_ok());
  file.reset();
  uint64_t device = 0;
  uint64_t inode = 0;
  EXPECT_EQ(held->identity_of("cut", device, inode).error_number(), ENOENT);
  ASSERT_TRUE(held->create_file("new.partial", file).is_ok());
  EXPECT_EQ(file->close_as("page").error_number(), EEXIST);
  file.reset();
  EXPECT_EQ(held->identity_of("new.partial", device, inode).error_number(), ENOENT);
  ASSERT_TRUE(held->create_file("new.partial", file).is_ok());
  ASSERT_TRUE(file->close_as("new").is_ok());
  EXPECT_TRUE(held->identity_of("new", device, inode).is_ok());

  std::string name;
  EXPECT_EQ(platform_file_system().open_directory_of(scratch / "missing/summary", again, name).error_number(), ENOENT);
}

}  // namespace
}  // namespace quern
