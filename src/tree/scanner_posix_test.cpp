#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "base/diagnostics.h"
#include "tree/directory_node.h"
#include "tree/scanner.h"

namespace quern {
namespace {

TEST(ScannerOnRealFiles, ChainDeeperThanAnyPathScansCompletelyUnderALowDescriptorLimit) {
  char root[] = "/tmp/quern-chain-XXXXXX";
  ASSERT_NE(::mkdtemp(root), nullptr);
  const int levels = 3000;
  int current = ::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < levels; ++level) {
    const int file = ::openat(current, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::ftruncate(file, 3), 0);
    ::close(file);
    ASSERT_EQ(::mkdirat(current, "next", 0755), 0);
    const int next = ::openat(current, "next", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(current);
    current = next;
  }
  ::close(current);

  rlimit saved{};
  ::getrlimit(RLIMIT_NOFILE, &saved);
  rlimit lowered = saved;
  lowered.rlim_cur = 256;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  for (const int threads : {1, 8}) {
    diagnostics diag(verbosity::quiet, -1);
    directory_tree tree(diag);
    directory_node* top = tree.create_directory_node();
    tree.set_name(top, root, std::strlen(root));
    jumper(tree, top, root, platform_file_system(), diag, {.threads = threads});
    EXPECT_EQ(diag.collected(), "");
    EXPECT_EQ(top->files + top->recurfiles, levels);
    EXPECT_EQ(top->total_size(), byte_total(3 * levels));
    EXPECT_EQ(top->subdirs + top->recursubdirs, levels);
    const directory_node* deepest = top;
    while (deepest->currentsubdirs() > 0) deepest = deepest->subdirpointer[0];
    EXPECT_GT(node_path(deepest).size(), 15000u);
  }
  ::setrlimit(RLIMIT_NOFILE, &saved);
  // rm walks relative to descriptors too, so the depth does not stop it.
  EXPECT_EQ(std::system(("rm -rf " + std::string(root)).c_str()), 0);
}

}  // namespace
}  // namespace quern
