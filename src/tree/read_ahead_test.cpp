#include "tree/read_ahead.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include "support/fake_file_system.h"

namespace quern {
namespace {

// Directories whose listings hold many long subdirectory names, more of
// them than the bound lets the workers read ahead.
constexpr int kDirectories = 600;
constexpr int kSubdirectoriesEach = 100;

void add_wide_tree(fake_file_system& files) {
  files.add_directory("r");
  for (int d = 0; d < kDirectories; ++d) {
    const std::string directory = "r/" + std::to_string(d);
    files.add_directory(directory);
    for (int s = 0; s < kSubdirectoriesEach; ++s)
      files.add_directory(directory + "/" + std::string(250, 'n') + std::to_string(s));
  }
}

// Walks the `ordinal`-th directory below the root, whose subdirectories
// are leaves; returns what its contents held, for the bound.
size_t walk_directory(read_ahead& ahead, const directory_contents& root, size_t ordinal) {
  const directory_contents* entered = nullptr;
  EXPECT_TRUE(ahead.enter(root.names[2 + ordinal], ordinal, entered).is_ok());
  EXPECT_EQ(entered->subdirectories, static_cast<size_t>(kSubdirectoriesEach));
  for (size_t leaf = 0; leaf < entered->subdirectories; ++leaf) {
    const directory_contents* nothing = nullptr;
    EXPECT_TRUE(ahead.enter(entered->names[2 + leaf], leaf, nothing).is_ok());
    ahead.leave();
  }
  const size_t footprint = entered->footprint();
  ahead.leave();
  return footprint;
}

TEST(ReadAhead, StopsAtItsBoundAndGoesOnAsTheWalkTakesWhatWasRead) {
  fake_file_system files;
  add_wide_tree(files);
  const int threads = 4;
  read_ahead ahead(files, "r", {}, threads, 32);
  ASSERT_EQ(ahead.workers(), static_cast<size_t>(threads));
  const directory_contents* root = nullptr;
  ASSERT_TRUE(ahead.enter(nullptr, 0, root).is_ok());
  ASSERT_EQ(root->subdirectories, static_cast<size_t>(kDirectories));
  const size_t each = walk_directory(ahead, *root, 0);
  EXPECT_GT(each * kDirectories, 2 * read_ahead::kReadAheadBytes);

  // Idle with the walk standing still: no more than the bound, plus what
  // each worker had begun when the bound was reached.
  const size_t held = ahead.held_bytes_when_idle();
  EXPECT_GE(held, read_ahead::kReadAheadBytes);
  EXPECT_LE(held, read_ahead::kReadAheadBytes + threads * 2 * each);

  // Taking what was read makes room, and every directory arrives in order.
  for (size_t ordinal = 1; ordinal < root->subdirectories; ++ordinal) walk_directory(ahead, *root, ordinal);
  EXPECT_EQ(ahead.held_bytes_when_idle(), 0u);
  ahead.leave();
}

// A walk given up after the root, with tens of thousands of its
// subdirectories read ahead, frees them all, on a stack that one frame per
// directory would overflow.
TEST(ReadAhead, AWalkGivenUpFreesWhatWasReadAhead) {
  fake_file_system files;
  files.add_directory("r");
  for (int d = 0; d < 60000; ++d) files.add_directory("r/" + std::to_string(d));
  auto abandon = [](void* argument) -> void* {
    read_ahead ahead(*static_cast<fake_file_system*>(argument), "r", {}, 4, 32);
    const directory_contents* root = nullptr;
    if (!ahead.enter(nullptr, 0, root).is_ok()) return nullptr;
    return ahead.held_bytes_when_idle() >= read_ahead::kReadAheadBytes ? argument : nullptr;
  };
  pthread_attr_t small_stack;
  pthread_attr_init(&small_stack);
  pthread_attr_setstacksize(&small_stack, 128 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &small_stack, abandon, &files), 0);
  void* filled = nullptr;
  pthread_join(thread, &filled);
  EXPECT_EQ(filled, &files);
  EXPECT_EQ(files.open_now, 0);
}

}  // namespace
}  // namespace quern
