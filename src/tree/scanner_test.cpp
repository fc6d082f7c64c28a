#include "tree/scanner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/diagnostics.h"
#include "tree/fake_file_system.h"

namespace quern {
namespace {

// Runs a scan of `root` and keeps what it produced.
struct scan {
  explicit scan(fake_file_system& files, const std::string& root_path = "r", int debug = 0, int budget = 32)
      : diag(debug, -1), tree(diag) {
    root = tree.create_directory_node();
    tree.set_name(root, root_path.data(), root_path.size());
    jumper(tree, root, root_path, files, diag, budget);
  }
  diagnostics diag;
  directory_tree tree;
  directory_node* root;
};

std::string counters(const directory_node* n) {
  return std::to_string(n->files) + "/" + std::to_string(n->recurfiles) + " " + std::to_string(n->symlinks) + "/" +
         std::to_string(n->recursymlinks) + " " + std::to_string(n->devices) + "/" + std::to_string(n->recurdevices) +
         " " + std::to_string(n->size) + "/" + std::to_string(n->recursize) + " " + std::to_string(n->subdirs) + "/" +
         std::to_string(n->recursubdirs);
}

// Every node in pre-order with its path and counters, checking the tree's
// invariants on the way.
std::string describe(const directory_node* root) {
  std::string text;
  std::vector<const directory_node*> pending = {root};
  while (!pending.empty()) {
    const directory_node* n = pending.back();
    pending.pop_back();
    text += node_path(n) + " " + counters(n) + "\n";
    EXPECT_EQ(n->subdirs, n->currentsubdirs) << node_path(n);
    int64_t below[5] = {};
    for (int64_t i = n->currentsubdirs - 1; i >= 0; --i) {
      const directory_node* c = n->subdirpointer[i];
      EXPECT_EQ(c->parent, n);
      below[0] += c->files + c->recurfiles;
      below[1] += c->symlinks + c->recursymlinks;
      below[2] += c->devices + c->recurdevices;
      below[3] += c->size + c->recursize;
      below[4] += c->subdirs + c->recursubdirs;
      pending.push_back(c);
    }
    EXPECT_EQ(n->recurfiles, below[0]) << node_path(n);
    EXPECT_EQ(n->recursymlinks, below[1]) << node_path(n);
    EXPECT_EQ(n->recurdevices, below[2]) << node_path(n);
    EXPECT_EQ(n->recursize, below[3]) << node_path(n);
    EXPECT_EQ(n->recursubdirs, below[4]) << node_path(n);
  }
  return text;
}

TEST(Scanner, CountsEveryKindDirectlyAndBelow) {
  fake_file_system files;
  files.add_directory("r");
  files.add_file("r/f", 100);
  files.add_symlink("r/link", 7);
  files.add_directory("r/A");
  files.add_file("r/A/g", 50);
  files.add_directory("r/A/B");
  files.add_other("r/A/B/fifo");
  scan s(files);
  EXPECT_EQ(describe(s.root),
            "r 1/1 1/0 0/1 107/50 1/1\n"
            "r/A 1/0 0/0 0/1 50/0 1/0\n"
            "r/A/B 0/0 0/0 1/0 0/0 0/0\n");
  EXPECT_EQ(s.tree.structures(), 3);
  EXPECT_EQ(s.diag.failures(), 0);
}

TEST(Scanner, OnlyDotAndDotDotAreSkipped) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/...");
  files.add_file("r/.hidden", 3);
  files.add_directory("r/..x");
  scan s(files);
  EXPECT_EQ(s.root->subdirs, 2);
  EXPECT_EQ(s.root->files, 1);
  EXPECT_STREQ(s.root->subdirpointer[0]->name, "...");
  EXPECT_STREQ(s.root->subdirpointer[1]->name, "..x");
}

TEST(Scanner, ChildrenKeepListingOrderPastEveryGrowth) {
  fake_file_system files;
  files.add_directory("r");
  for (int i = 0; i < 130; ++i) files.add_directory("r/" + std::to_string(129 - i));
  scan s(files);
  ASSERT_EQ(s.root->currentsubdirs, 130);
  EXPECT_EQ(s.root->countofsubdir(), 256);
  for (int i = 0; i < 130; ++i) EXPECT_EQ(s.root->subdirpointer[i]->name, std::to_string(129 - i));
}

TEST(Scanner, RootPathWithTrailingSlashJoinsWithTwoSlashes) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/a");
  scan s(files, "r/", 2);
  EXPECT_EQ(s.diag.collected(), "** scanning r/\n** detecting directory r//a\r\n** scanning r//a\n");
  EXPECT_STREQ(s.root->subdirpointer[0]->name, "a");
}

TEST(Scanner, LevelTwoShowsDirectoriesLinksAndOthersButNoRegularFiles) {
  fake_file_system files;
  files.add_directory("r");
  files.add_file("r/f", 1);
  files.add_symlink("r/l", 1);
  files.add_other("r/p");
  files.add_directory("r/d");
  scan s(files, "r", 2);
  EXPECT_EQ(s.diag.collected(),
            "** scanning r\n** detecting symlink r/l\r\n** detecting device file or fifo r/p\r\n"
            "** detecting directory r/d\r\n** scanning r/d\n");
  scan quiet(files, "r", 1);
  EXPECT_EQ(quiet.diag.collected(), "");
}

TEST(Scanner, LevelThreeTracesEveryOperationInOrder) {
  fake_file_system files;
  files.add_directory("r");
  files.add_file("r/f", 1);
  files.add_directory("r/d");
  scan s(files, "r", 3);
  EXPECT_EQ(s.diag.collected(),
            "*** create_directory_node 1\r\n*** resize_subdirs d1\r\n*** resize_subdirs newsize is 64\r\n"
            "*** jumper r d1\r\n** scanning r\n*** try to open directory\r\n"
            "*** try to read a directory entry\r\n*** try to stat r/.\r\n"
            "*** try to read a directory entry\r\n*** try to stat r/..\r\n"
            "*** try to read a directory entry\r\n*** try to stat r/f\r\n** detecting regular file r/f\r\n"
            "*** try to read a directory entry\r\n*** try to stat r/d\r\n** detecting directory r/d\r\n"
            "*** create_directory_node 2\r\n*** resize_subdirs d2\r\n*** resize_subdirs newsize is 64\r\n"
            "*** add_subdir d1 d2\r\n*** add_subdir into slot 0\r\n"
            "*** jumper r/d d2\r\n** scanning r/d\n*** try to open directory\r\n"
            "*** try to read a directory entry\r\n*** try to stat r/d/.\r\n"
            "*** try to read a directory entry\r\n*** try to stat r/d/..\r\n"
            "*** try to read a directory entry\r\n*** end of directory\r\n"
            "*** try to read a directory entry\r\n*** end of directory\r\n");
}

TEST(Scanner, UnopenableDirectoriesStayAsEmptyCountedChildren) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/a");
  files.add_directory("r/a/locked");
  files.add_file("r/a/locked/secret", 10);
  files.add_file("r/a/after", 5);
  files.fail_open("r/a/locked", EACCES);
  scan s(files);
  EXPECT_EQ(s.diag.collected(), "Konnte Verzeichnis nicht oeffnen: Permission denied\n");
  EXPECT_EQ(s.diag.failures(), 1);
  EXPECT_EQ(describe(s.root),
            "r 0/1 0/0 0/0 0/5 1/1\n"
            "r/a 1/0 0/0 0/0 5/0 1/0\n"
            "r/a/locked 0/0 0/0 0/0 0/0 0/0\n");
}

TEST(Scanner, UnopenableRootLeavesAnEmptyTree) {
  fake_file_system files;
  scan s(files, "missing");
  EXPECT_EQ(s.diag.collected(), "Konnte Verzeichnis nicht oeffnen: No such file or directory\n");
  EXPECT_EQ(describe(s.root), "missing 0/0 0/0 0/0 0/0 0/0\n");
}

TEST(Scanner, VanishedEntryIsReportedAndSkipped) {
  fake_file_system files;
  files.add_directory("r");
  files.add_file("r/gone", 100);
  files.add_file("r/kept", 1);
  files.on_listing_read("r", [&files] { files.remove("r/gone"); });
  scan s(files);
  EXPECT_EQ(s.diag.collected(), "Konnte Datei nicht stat'ten: No such file or directory\n");
  EXPECT_EQ(counters(s.root), "1/0 0/0 0/0 1/0 0/0");
}

TEST(Scanner, BrokenListingKeepsWhatWasCounted) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/a");
  files.add_file("r/a/one", 1);
  files.add_file("r/a/two", 2);
  files.add_file("r/a/three", 4);
  files.fail_listing_after("r/a", 4, EIO);  // ".", "..", "one", "two"
  files.add_file("r/after", 8);
  scan s(files, "r", 3);
  EXPECT_NE(s.diag.collected().find("** detecting regular file r/a/two\r\n*** try to read a directory entry\r\n"
                                    "Konnte Verzeichniseintrag nicht lesen: Input/output error\n"
                                    "*** try to read a directory entry\r\n*** try to stat r/after\r\n"),
            std::string::npos);
  EXPECT_EQ(s.diag.failures(), 1);
  EXPECT_EQ(counters(s.root), "1/2 0/0 0/0 8/3 1/0");
}

// A tree that is both deep and bushy: every level holds two subdirectories,
// so every ancestor still has work left while the deepest one is scanned.
void add_bushy(fake_file_system& files, const std::string& path, int depth) {
  files.add_directory(path);
  files.add_file(path + "/f", depth);
  if (depth == 0) return;
  add_bushy(files, path + "/a", depth - 1);
  add_bushy(files, path + "/b", depth - 1);
}

TEST(Scanner, DescriptorBudgetHoldsWhateverTheShapeAndLosesNothing) {
  fake_file_system files;
  add_bushy(files, "r", 9);
  std::string chain = "r/a/a";
  for (int i = 0; i < 300; ++i) {
    chain += "/deep";
    files.add_directory(chain);
    files.add_symlink(chain + "/l", 1);
  }
  scan unlimited(files, "r", 0, 1000);
  const std::string expected = describe(unlimited.root);

  for (int budget : {2, 3, 5}) {
    fake_file_system limited;
    add_bushy(limited, "r", 9);
    std::string path = "r/a/a";
    for (int i = 0; i < 300; ++i) {
      path += "/deep";
      limited.add_directory(path);
      limited.add_symlink(path + "/l", 1);
    }
    scan s(limited, "r", 0, budget);
    EXPECT_EQ(describe(s.root), expected) << "budget " << budget;
    EXPECT_LE(limited.most_open_directories(), budget);
    EXPECT_EQ(limited.open_directories(), 0);
    EXPECT_EQ(s.diag.failures(), 0);
  }
}

TEST(Scanner, RunningOutOfDescriptorsShrinksTheBudgetInsteadOfLosingSubtrees) {
  fake_file_system files;
  add_bushy(files, "r", 7);
  scan unlimited(files);
  files.set_open_directory_limit(3);
  scan limited(files);
  EXPECT_EQ(describe(limited.root), describe(unlimited.root));
  EXPECT_EQ(limited.diag.failures(), 0);

  fake_file_system once;
  add_bushy(once, "r", 3);
  once.fail_open("r/a/b", EMFILE, 1);
  scan retried(once);
  EXPECT_EQ(describe(retried.root), describe(scan(once).root));
  EXPECT_EQ(retried.diag.failures(), 0);
}

}  // namespace
}  // namespace quern

namespace quern {
namespace {

// Lowers the soft descriptor limit for one test and restores it after.
class descriptor_limit {
 public:
  explicit descriptor_limit(rlim_t soft) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = soft;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~descriptor_limit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

TEST(ScannerOnRealFiles, ChainDeeperThanAnyPathScansCompletelyUnderALowDescriptorLimit) {
  char pattern[] = "/tmp/quern-chain-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  const int levels = 3000;
  int current = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < levels; ++level) {
    const int file = ::openat(current, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::ftruncate(file, 3), 0);
    ::close(file);
    ASSERT_EQ(::mkdirat(current, "next", 0755), 0);
    const int next = ::openat(current, "next", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(next, 0);
    ::close(current);
    current = next;
  }
  ::close(current);

  diagnostics diag(0, -1);
  directory_tree tree(diag);
  directory_node* top = tree.create_directory_node();
  tree.set_name(top, root.data(), root.size());
  {
    descriptor_limit limit(256);
    jumper(tree, top, root, platform_file_system(), diag);
  }
  EXPECT_EQ(diag.collected(), "");
  EXPECT_EQ(top->files + top->recurfiles, levels);
  EXPECT_EQ(top->size + top->recursize, 3 * levels);
  EXPECT_EQ(top->subdirs + top->recursubdirs, levels);
  const directory_node* deepest = top;
  while (deepest->currentsubdirs > 0) deepest = deepest->subdirpointer[0];
  EXPECT_GT(node_path(deepest).size(), 15000u);
  EXPECT_EQ(tree.structures(), levels + 1);

  // rm walks relative to descriptors too, so the depth does not stop it.
  const std::string remove = "rm -rf " + root;
  EXPECT_EQ(std::system(remove.c_str()), 0);
}

}  // namespace
}  // namespace quern
