#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "base/unfinished_files.h"
#include "platform/file_system.h"

namespace quern {
namespace {

namespace fs = std::filesystem;

class temporary_tree {
 public:
  temporary_tree() {
    char pattern[] = "/tmp/quern-listing-XXXXXX";
    EXPECT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  ~temporary_tree() { fs::remove_all(root_); }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
};

// The number the next descriptor would get: the lowest one free.
int next_descriptor() {
  const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ::close(probe);
  return probe;
}

// More names than one read delivers, whether the system is asked for a
// buffer of records or a stream hands out names one by one.
TEST(PosixFileSystem, AListingDeliversEveryNameOnceOverSeveralReadsAndEntriesStayReachable) {
  temporary_tree tree;
  const std::string prefix = "a-name-long-enough-that-one-read-cannot-hold-them-all-";
  const int names = 1500;
  for (int i = 0; i < names; ++i) ::close(::creat((tree.root() + "/" + prefix + std::to_string(i)).c_str(), 0644));
  std::ofstream(tree.root() + "/" + prefix + "1234") << "1234";
  fs::create_directory(tree.root() + "/sub");

  std::unique_ptr<open_directory> directory;
  ASSERT_TRUE(platform_file_system().open_directory_at_path(tree.root(), directory).is_ok());
  std::map<std::string, int> seen;
  int reads = 0;
  for (name_list batch;; ++reads) {
    batch.clear();
    ASSERT_TRUE(directory->read_names(batch).is_ok());
    if (batch.size() == 0) break;
    for (size_t i = 0; i < batch.size(); ++i) ++seen[std::string(batch[i], batch.length(i))];
  }
  EXPECT_GT(reads, 1);
  EXPECT_EQ(seen.size(), static_cast<size_t>(names) + 3);
  for (const auto& [name, times] : seen) EXPECT_EQ(times, 1) << name;
  EXPECT_EQ(seen.count("."), 1u);
  EXPECT_EQ(seen.count(".."), 1u);

  // Once the listing has ended, the directory still serves calls relative to it.
  entry_status entry;
  ASSERT_TRUE(directory->stat_entry((prefix + "1234").c_str(), entry).is_ok());
  EXPECT_EQ(entry.type, entry_status::kind::regular);
  EXPECT_EQ(entry.size, 4);
  std::unique_ptr<open_directory> sub;
  ASSERT_TRUE(directory->open_subdirectory("sub", sub).is_ok());
  uint64_t device = 0;
  uint64_t inode = 0;
  ASSERT_TRUE(sub->identity(device, inode).is_ok());
  struct stat info;
  ASSERT_EQ(::stat((tree.root() + "/sub").c_str(), &info), 0);
  EXPECT_EQ(inode, static_cast<uint64_t>(info.st_ino));
  EXPECT_EQ(device, static_cast<uint64_t>(info.st_dev));
}

// The scan's descriptor budget counts one descriptor per open directory;
// reading the names must not take another.
TEST(PosixFileSystem, AnOpenDirectoryHoldsOneDescriptorWhetherListedOrNotAndNoneOnceClosed) {
  temporary_tree tree;
  std::ofstream(tree.root() + "/file") << "x";
  const int free_before = next_descriptor();
  std::unique_ptr<open_directory> directory;
  ASSERT_TRUE(platform_file_system().open_directory_at_path(tree.root(), directory).is_ok());
  const int free_while_open = next_descriptor();
  EXPECT_NE(free_while_open, free_before);
  name_list batch;
  ASSERT_TRUE(directory->read_names(batch).is_ok());
  EXPECT_EQ(next_descriptor(), free_while_open);
  directory.reset();
  EXPECT_EQ(next_descriptor(), free_before);

  // Also a directory that was never listed gives its descriptor back.
  ASSERT_TRUE(platform_file_system().open_directory_at_path(tree.root(), directory).is_ok());
  directory.reset();
  EXPECT_EQ(next_descriptor(), free_before);
}

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Files are made relative to the directory held, so that whoever renames it
// and puts a link elsewhere in its place redirects nothing; a name is never
// taken over, and a file is whole under its name or not there at all.
TEST(PosixFileSystem, FilesAreMadeInTheDirectoryHeldNeverOverAnotherAndWholeOrNotAtAll) {
  temporary_tree tree;
  const std::string out = tree.root() + "/out";
  std::unique_ptr<output_directory> held;
  ASSERT_TRUE(platform_file_system().make_output_directory(out, held).is_ok());
  std::unique_ptr<output_directory> again;
  EXPECT_EQ(platform_file_system().make_output_directory(out, again).error_number(), EEXIST);
  fs::create_directory(tree.root() + "/elsewhere");
  fs::rename(out, tree.root() + "/moved");
  fs::create_directory_symlink(tree.root() + "/elsewhere", out);

  std::unique_ptr<output_file> page;
  ASSERT_TRUE(held->create_file("page", page).is_ok());
  ASSERT_TRUE(page->write("whole").is_ok());
  ASSERT_TRUE(page->close().is_ok());
  page.reset();
  EXPECT_EQ(contents(tree.root() + "/moved/page"), "whole");
  EXPECT_TRUE(fs::is_empty(tree.root() + "/elsewhere"));

  std::unique_ptr<output_file> other;
  EXPECT_EQ(held->create_file("page", other).error_number(), EEXIST);
  ASSERT_EQ(::symlink("nowhere", (tree.root() + "/moved/dangling").c_str()), 0);
  EXPECT_EQ(held->create_file("dangling", other).error_number(), EEXIST);
  EXPECT_FALSE(fs::exists(tree.root() + "/moved/nowhere"));

  ASSERT_TRUE(held->create_file("cut", other).is_ok());
  ASSERT_TRUE(other->write("half").is_ok());
  other.reset();
  EXPECT_FALSE(fs::exists(tree.root() + "/moved/cut"));

  // A final name taken meanwhile is left as it is, and the new file goes.
  ASSERT_TRUE(held->create_file("summary.partial", other).is_ok());
  ASSERT_TRUE(other->write("new").is_ok());
  EXPECT_EQ(other->close_as("page").error_number(), EEXIST);
  other.reset();
  EXPECT_EQ(contents(tree.root() + "/moved/page"), "whole");
  ASSERT_TRUE(held->create_file("summary.partial", other).is_ok());
  ASSERT_TRUE(other->write("new").is_ok());
  ASSERT_TRUE(other->close_as("summary").is_ok());
  other.reset();
  EXPECT_EQ(contents(tree.root() + "/moved/summary"), "new");
  EXPECT_FALSE(fs::exists(tree.root() + "/moved/summary.partial"));
}

// A run ended from outside takes its unfinished files with it, and makes
// none after: the list stays held, so this runs in a child of its own.
TEST(PosixFileSystemDeathTest, UnfinishedFilesAreRemovedWhenTheRunIsEnded) {
  temporary_tree tree;
  const auto end_while_writing = [&tree] {
    std::unique_ptr<output_directory> held;
    std::unique_ptr<output_file> done;
    std::unique_ptr<output_file> cut;
    if (!platform_file_system().make_output_directory(tree.root() + "/out", held).is_ok() ||
        !held->create_file("done", done).is_ok() || !done->close().is_ok() || !held->create_file("cut", cut).is_ok())
      std::_Exit(3);
    remove_unfinished_files();
    std::_Exit(fs::exists(tree.root() + "/out/done") && !fs::exists(tree.root() + "/out/cut") ? 0 : 4);
  };
  EXPECT_EXIT(end_while_writing(), testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quern
