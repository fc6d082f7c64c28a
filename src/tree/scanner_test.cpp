#include "tree/scanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/diagnostics.h"
#include "base/text.h"
#include "support/fake_file_system.h"
#include "support/tree_nodes.h"

namespace quern {
namespace {

using quern_test::describe;

// Every test runs on the walk's own thread and with workers reading ahead:
// the outcome must be the same, byte for byte.
class Scanner : public testing::TestWithParam<int> {
 protected:
  int threads() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Threads, Scanner, testing::Values(1, 2, 8));

// Runs a scan of `root` and keeps what it produced.
struct scan {
  explicit scan(file_system& files, const std::string& root_path = "r", verbosity level = verbosity::quiet,
                int budget = kDefaultDescriptorBudget, int threads = 1)
      : scan(files, root_path, level, {.threads = threads, .descriptor_budget = budget}) {}
  scan(file_system& files, const std::string& root_path, verbosity level, scan_options options)
      : diag(level, -1), tree(diag) {
    root = tree.create_directory_node();
    tree.set_name(root, root_path.data(), root_path.size());
    jumper(tree, root, root_path, files, diag, options);
  }
  diagnostics diag;
  directory_tree tree;
  directory_node* root;
};

TEST_P(Scanner, ChildrenKeepListingOrderPastEveryGrowth) {
  fake_file_system files;
  files.add_directory("r");
  for (int i = 0; i < 130; ++i) files.add_directory("r/" + std::to_string(129 - i));
  scan s(files, "r", verbosity::operations, kDefaultDescriptorBudget, threads());
  ASSERT_EQ(s.root->currentsubdirs(), 130);
  EXPECT_EQ(s.root->countofsubdir(), 256);
  for (int i = 0; i < 130; ++i) EXPECT_EQ(s.root->subdirpointer[i]->name, std::to_string(129 - i));
  for (const char* growth : {"*** add_subdir d1 d66\r\n*** resize_subdirs d1\r\n*** resize_subdirs newsize is 128\r\n"
                             "*** resize_subdirs copy data\r\n*** add_subdir into slot 64\r\n",
                             "*** add_subdir d1 d130\r\n*** resize_subdirs d1\r\n*** resize_subdirs newsize is 256\r\n"
                             "*** resize_subdirs copy data\r\n*** add_subdir into slot 128\r\n"})
    EXPECT_NE(s.diag.collected().find(growth), std::string::npos) << growth;
}

TEST_P(Scanner, EveryOperationIsTracedInOrder) {
  fake_file_system files;
  files.add_directory("r");
  files.add_file("r/f", 1);
  files.add_directory("r/d");
  EXPECT_EQ(scan(files, "r", verbosity::steps, kDefaultDescriptorBudget, threads()).diag.collected(), "");
  EXPECT_EQ(scan(files, "r", verbosity::operations, kDefaultDescriptorBudget, threads()).diag.collected(),
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

// The entries found are directories, links and other entries, no regular files.
TEST_P(Scanner, CountsEveryKindSkipsOnlyDotAndDotDotAndGoesOnAfterFailures) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/a");
  files.add_directory("r/a/locked").open_error = EACCES;
  files.add_file("r/a/locked/secret", 10);
  files.add_file("r/a/.hidden", 5);
  files.add_other("r/a/fifo");
  files.add_file("r/gone", 100);
  files.at("r").after_listing = [&files] { files.remove("r/gone"); };
  files.add_directory("r/...");
  files.add_file("r/.../one", 1);
  files.add_symlink("r/.../two", 2);
  files.add_file("r/.../three", 4);
  files.at("r/...").listing_breaks_after = 4;  // ".", "..", "one", "two"
  files.at("r/...").listing_error = EIO;
  files.add_symlink("r/after", 8);
  scan s(files, "r/", verbosity::entries, kDefaultDescriptorBudget, threads());  // the root as given starts every path
  EXPECT_EQ(s.diag.collected(),
            "** scanning r/\n** detecting directory r//a\r\n** scanning r//a\n"
            "** detecting directory r//a/locked\r\n** scanning r//a/locked\n"
            "Konnte Verzeichnis nicht oeffnen: Permission denied\n** detecting device file or fifo r//a/fifo\r\n"
            "Konnte Datei nicht stat'ten: No such file or directory\n"
            "** detecting directory r//...\r\n** scanning r//...\n** detecting symlink r//.../two\r\n"
            "Konnte Verzeichniseintrag nicht lesen: Input/output error\n** detecting symlink r//after\r\n");
  EXPECT_EQ(s.diag.failures(), 3);
  EXPECT_EQ(s.tree.structures(), 4);
  EXPECT_EQ(describe(s.root),
            "r/ 0/2 1/1 0/1 8/8 2/1\n"
            "r//a 1/0 0/0 1/0 5/0 1/0\n"
            "r//a/locked 0/0 0/0 0/0 0/0 0/0\n"
            "r//... 1/0 1/0 0/0 3/0 0/0\n");
  // What could not be read marks its directory, and every directory above
  // it as short of something below.
  const directory_node* a = s.root->subdirpointer[0];
  EXPECT_EQ(a->subdirpointer[0]->gaps, kGapUnread);
  EXPECT_EQ(a->gaps, kGapBelow);
  EXPECT_EQ(s.root->subdirpointer[1]->gaps, kGapUnread);
  EXPECT_EQ(s.root->gaps, kGapUnread | kGapBelow);

  scan missing(files, "missing", verbosity::quiet, kDefaultDescriptorBudget, threads());
  EXPECT_EQ(missing.diag.collected(), "Konnte Verzeichnis nicht oeffnen: No such file or directory\n");
  EXPECT_EQ(describe(missing.root), "missing 0/0 0/0 0/0 0/0 0/0\n");
  EXPECT_EQ(missing.root->gaps, kGapUnread);
}

// Where the platform knows only directories and regular files, a link or a
// device is passed over: neither counted nor entered nor reported.
TEST_P(Scanner, SkippedEntriesAreNeitherCountedNorEnteredNorReported) {
  fake_file_system files;
  files.add_directory("r");
  files.add_file("r/f", 3);
  files.add("r/junction", entry_status::kind::skipped, 0);
  files.add_file("r/junction/inside", 100);
  files.add("r/link", entry_status::kind::skipped, 7);
  files.add_directory("r/d");
  files.add("r/d/device", entry_status::kind::skipped, 0);
  scan two(files, "r", verbosity::entries, kDefaultDescriptorBudget, threads());
  EXPECT_EQ(two.diag.collected(), "** scanning r\n** detecting directory r/d\r\n** scanning r/d\n");
  EXPECT_EQ(two.tree.structures(), 2);
  EXPECT_EQ(describe(two.root), "r 1/0 0/0 0/0 3/0 1/0\nr/d 0/0 0/0 0/0 0/0 0/0\n");
  // The full trace tries them like every entry before passing over them.
  scan three(files, "r", verbosity::operations, kDefaultDescriptorBudget, threads());
  EXPECT_NE(three.diag.collected().find("*** try to stat r/link\r\n*** try to read a directory entry\r\n"),
            std::string::npos);
  EXPECT_EQ(three.diag.failures(), 0);
}

// With -x a directory on another file system is a subdirectory with nothing
// in it; it is named among the steps and neither opened nor read.
TEST_P(Scanner, OtherFileSystemsAreShownButNotEntered) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/mnt").device = 2;
  files.add_file("r/mnt/big", 1000);
  files.add_directory("r/mnt/inner").device = 2;
  files.add_directory("r/local");
  files.add_file("r/local/f", 5);
  files.add_directory("r/local/proc").device = 3;
  files.at("r/mnt").open_error = EIO;  // opening it would be reported
  const scan_options one_file_system{.threads = threads(), .one_file_system = true};
  scan kept(files, "r", verbosity::entries, one_file_system);
  EXPECT_EQ(kept.diag.collected(),
            "** scanning r\n** detecting directory r/mnt\r\n* nicht betreten (anderes Dateisystem): r/mnt\r\n"
            "** detecting directory r/local\r\n** scanning r/local\n** detecting directory r/local/proc\r\n"
            "* nicht betreten (anderes Dateisystem): r/local/proc\r\n");
  EXPECT_EQ(describe(kept.root),
            "r 0/1 0/0 0/0 0/5 2/1\nr/mnt 0/0 0/0 0/0 0/0 0/0\nr/local 1/0 0/0 0/0 5/0 1/0\n"
            "r/local/proc 0/0 0/0 0/0 0/0 0/0\n");
  // A file system left out on purpose leaves no gap above it.
  EXPECT_EQ(kept.root->subdirpointer[0]->gaps, kGapNotEntered);
  EXPECT_EQ(kept.root->subdirpointer[1]->subdirpointer[0]->gaps, kGapNotEntered);
  EXPECT_EQ(kept.root->subdirpointer[1]->gaps, 0u);
  EXPECT_EQ(kept.root->gaps, 0u);
  EXPECT_EQ(
      scan(files, "r", verbosity::steps, one_file_system).diag.collected(),
      "* nicht betreten (anderes Dateisystem): r/mnt\r\n* nicht betreten (anderes Dateisystem): r/local/proc\r\n");
  // Without it every mount point is entered.
  EXPECT_NE(scan(files, "r", verbosity::quiet, {.threads = threads()})
                .diag.collected()
                .find("Konnte Verzeichnis nicht oeffnen"),
            std::string::npos);
}

// Sizes add up exactly however large: three files of the largest size a
// file can have, in one directory and again below it.
TEST_P(Scanner, SumsOfTheLargestFilesAreExact) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/d");
  for (const char* name : {"a", "b", "c"}) {
    files.add_file(std::string("r/") + name, INT64_MAX);
    files.add_file(std::string("r/d/") + name, INT64_MAX);
  }
  scan s(files, "r", verbosity::quiet, {.threads = threads()});
  EXPECT_EQ(dotted(s.root->size), "27.670.116.110.564.327.421");
  EXPECT_EQ(dotted(s.root->recursize), "27.670.116.110.564.327.421");
  EXPECT_EQ(dotted(s.root->total_size()), "55.340.232.221.128.654.842");
}

// A tree of four levels below the root, each directory with three
// subdirectories, files of every size class, links and other entries also
// below subdirectories.
void add_bushy_tree(fake_file_system& files) {
  files.add_directory("r");
  std::vector<std::string> level{"r"};
  for (int depth = 1; depth <= 4; ++depth) {
    std::vector<std::string> next;
    for (size_t parent = 0; parent < level.size(); ++parent) {
      for (int child = 0; child < 3; ++child) {
        const std::string path = level[parent] + "/" + std::to_string(child);
        files.add_directory(path);
        files.add_file(path + "/f", int64_t{1} << (4 * ((parent + static_cast<size_t>(child)) % 8)));
        if (child == 1) files.add_symlink(path + "/l", 3);
        if (depth == 4) files.add_other(path + "/p");
        next.push_back(path);
      }
    }
    level = next;
  }
}

// The figures of every directory that a walk down the kept children meets,
// by path; with a rule, the walk goes below only the directories it keeps.
std::map<std::string, std::string> kept_directories(const directory_node* root, const retention_rule* rule) {
  std::map<std::string, std::string> kept;
  std::vector<std::pair<const directory_node*, uint64_t>> pending{{root, 0}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    kept[node_path(node)] = dotted(node->total_size()) + " " + std::to_string(node->total_files()) + " " +
                            std::to_string(node->subdirs + node->recursubdirs) + " " +
                            std::to_string(node->symlinks + node->recursymlinks) + " " +
                            std::to_string(node->devices + node->recurdevices) + " " + std::to_string(node->subdirs);
    if (rule != nullptr && !rule->keeps(*node, depth)) continue;
    for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot)
      pending.push_back({node->subdirpointer[slot], depth + 1});
  }
  return kept;
}

// Under caps a directory that cannot get pages gives back what lies below
// it once it is counted: what stays is what the rule keeps of the uncapped
// tree, with the same figures; the traces and the order of completion are
// those of the uncapped scan, and only what stays holds storage.
TEST_P(Scanner, CapsGiveBackWhatNoPageShowsAndChangeNoFigureOrTrace) {
  fake_file_system files;
  add_bushy_tree(files);
  std::vector<std::string> completed_uncapped;
  const scan uncapped(files, "r", verbosity::operations,
                      {.threads = threads(), .counted = [&](directory_node* node, const subtree_details*) {
                         completed_uncapped.push_back(node_path(node));
                       }});
  ASSERT_EQ(kept_directories(uncapped.root, nullptr).size(), 121u);
  const retention_rule rules[] = {{.max_depth = 0, .min_total = {}},
                                  {.max_depth = 1, .min_total = {}},
                                  {.max_depth = 2, .min_total = {}},
                                  {.max_depth = UINT64_MAX, .min_total = byte_total(1 << 12)},
                                  {.max_depth = 3, .min_total = byte_total(1 << 20)}};
  for (const retention_rule& rule : rules) {
    SCOPED_TRACE("depth " + std::to_string(rule.max_depth) + ", size " + dotted(rule.min_total));
    std::vector<std::string> completed;
    const scan capped(
        files, "r", verbosity::operations,
        {.threads = threads(), .retention = rule, .counted = [&](directory_node* node, const subtree_details*) {
           completed.push_back(node_path(node));
         }});
    EXPECT_EQ(capped.diag.collected(), uncapped.diag.collected());
    EXPECT_EQ(completed, completed_uncapped);
    EXPECT_EQ(capped.tree.structures(), uncapped.tree.structures());
    const std::map<std::string, std::string> kept = kept_directories(capped.root, nullptr);
    EXPECT_EQ(kept, kept_directories(uncapped.root, &rule));
    EXPECT_LT(kept.size(), 121u);
    // Only what stays holds storage: the stacks end right after it.
    EXPECT_EQ(capped.tree.current_mark().nodes, kept.size());
  }
}

// A file with several names counts once, at its first name in the scan's
// order, whichever thread stat'ed which name first.
TEST_P(Scanner, HardLinksCountOnceAtTheFirstNameWhenAsked) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/a");
  for (const char* name : {"r/a/one", "r/a/two", "r/b/three"}) {
    if (std::string(name) == "r/b/three") files.add_directory("r/b");
    files.add_file(name, 100);
    files.at(name).inode = 7;
    files.at(name).links = 3;
  }
  files.add_file("r/b/alone", 10);
  files.add_file("r/b/other_name_outside", 1);
  files.at("r/b/other_name_outside").links = 2;
  const scan_options once{.threads = threads(), .hard_links_once = true};
  EXPECT_EQ(describe(scan(files, "r", verbosity::quiet, once).root),
            "r 0/3 0/0 0/0 0/111 2/0\nr/a 1/0 0/0 0/0 100/0 0/0\nr/b 2/0 0/0 0/0 11/0 0/0\n");
  EXPECT_EQ(describe(scan(files, "r", verbosity::quiet, {.threads = threads()}).root),
            "r 0/5 0/0 0/0 0/311 2/0\nr/a 2/0 0/0 0/0 200/0 0/0\nr/b 3/0 0/0 0/0 111/0 0/0\n");
  // Every name is still traced.
  const std::string traced = scan(files, "r", verbosity::operations, once).diag.collected();
  for (const char* name : {"r/a/one", "r/a/two", "r/b/three"})
    EXPECT_NE(traced.find(std::string("** detecting regular file ") + name + "\r\n"), std::string::npos) << name;
}

// Entries passed over are neither counted, traced nor entered in the one
// directory named, wherever the scan meets it, and only there.
TEST_P(Scanner, EntriesArePassedOverInTheirDirectoryWhereverTheScanMeetsIt) {
  fake_file_system files;
  files.add_directory("r");
  files.add_directory("r/a");
  files.add_directory("r/a/skip").inode = 99;
  files.add_file("r/a/skip/kept", 5023);
  files.add_file("r/a/skip/x.tmp", 700);
  files.add_file("r/a/skip/y.tmp", 800);
  files.add_directory("r/a/skip/sub.tmp");
  files.add_file("r/a/skip/sub.tmp/inner", 3);
  files.add_directory("r/b").inode = 98;  // on another device: not the one named
  files.at("r/b").device = 2;
  files.add_file("r/b/z.tmp", 1);
  scan_options options{.threads = threads()};
  options.passed_over = {
      .device = 1, .inode = 99, .accepts = [](std::string_view name) { return name.ends_with(".tmp"); }};
  const scan passing(files, "r", verbosity::operations, options);
  EXPECT_EQ(describe(passing.root),
            "r 0/2 0/0 0/0 0/5024 2/1\nr/a 0/1 0/0 0/0 0/5023 1/0\nr/a/skip 1/0 0/0 0/0 5023/0 0/0\n"
            "r/b 1/0 0/0 0/0 1/0 0/0\n");
  const std::string& traced = passing.diag.collected();
  EXPECT_NE(traced.find("r/a/skip/kept"), std::string::npos);
  EXPECT_NE(traced.find("r/b/z.tmp"), std::string::npos);
  EXPECT_EQ(traced.find("r/a/skip/x.tmp"), std::string::npos);
  EXPECT_EQ(traced.find("r/a/skip/sub.tmp"), std::string::npos);
  // Elsewhere such names are counted like any file, and the root itself may
  // be the directory named.
  files.add_file("r/top.tmp", 10);
  files.at("r").inode = 97;
  options.passed_over.inode = 97;
  EXPECT_EQ(describe(scan(files, "r", verbosity::quiet, options).root),
            "r 0/5 0/0 0/0 0/6527 2/2\nr/a 0/4 0/0 0/0 0/6526 1/1\nr/a/skip 3/1 0/0 0/0 6523/3 1/0\n"
            "r/a/skip/sub.tmp 1/0 0/0 0/0 3/0 0/0\nr/b 1/0 0/0 0/0 1/0 0/0\n");
}

// Every level holds two subdirectories, so every ancestor still has work
// left while the deepest one is scanned.
void add_bushy(fake_file_system& files, const std::string& path, int depth) {
  files.add_directory(path);
  files.add_file(path + "/f", depth);
  if (depth == 0) return;
  add_bushy(files, path + "/a", depth - 1);
  add_bushy(files, path + "/b", depth - 1);
}

TEST_P(Scanner, FewDescriptorsLoseNothingWhateverTheShape) {
  fake_file_system files;
  add_bushy(files, "r", 9);
  std::string chain = "r/a/a";
  for (int i = 0; i < 300; ++i) {
    files.add_directory(chain += "/deep");
    files.add_symlink(chain + "/l", 1);
  }
  const std::string expected = describe(scan(files, "r", verbosity::quiet, 1000).root);
  EXPECT_GT(files.most_open, 5);  // the tree needs more than any budget below
  for (int budget : {2, 3, 5}) {
    files.most_open = 0;
    scan s(files, "r", verbosity::quiet, budget, threads());
    EXPECT_EQ(describe(s.root), expected) << "budget " << budget;
    // Each worker may hold the descriptor of a parent and of the directory
    // it opens, so the budget grows with their number.
    EXPECT_LE(files.most_open, threads() > 1 ? std::max(budget, 2 * threads() + 2) : budget);
    EXPECT_EQ(files.open_now, 0);
    EXPECT_EQ(s.diag.failures(), 0);
  }

  // Running out of descriptors shrinks the budget instead of losing subtrees.
  files.open_limit = 3;
  scan limited(files, "r", verbosity::quiet, kDefaultDescriptorBudget, threads());
  EXPECT_EQ(describe(limited.root), expected);
  EXPECT_EQ(limited.diag.failures(), 0);
  files.open_limit = -1;
  files.at("r/a/b").open_error = EMFILE;
  files.at("r/a/b").open_failures = 1;
  scan retried(files, "r", verbosity::quiet, kDefaultDescriptorBudget, threads());
  EXPECT_EQ(describe(retried.root), expected);
  EXPECT_EQ(retried.diag.failures(), 0);
}

std::optional<std::string> numbered_name(owner_id user) { return "u" + std::to_string(user); }

// Bytes and files per owner, kept once a directory's subtree is counted and
// only where it gets pages; a file with several names counts for its owner
// where it counts at all.
TEST_P(Scanner, FiguresPerOwnerAreKeptForTheDirectoriesThatGetPages) {
  fake_file_system files;
  for (const char* directory : {"r", "r/a", "r/a/b", "r/c"}) files.add_directory(directory);
  files.add("r/f", entry_status::kind::regular, 50).owner = 1;
  files.add("r/a/f", entry_status::kind::regular, 25).owner = 2;
  files.add("r/a/b/f", entry_status::kind::regular, 25).owner = 1;
  files.add("r/c/f", entry_status::kind::regular, 12).owner = 3;
  files.add("r/l", entry_status::kind::symlink, 7).owner = 2;
  files.add("r/fifo", entry_status::kind::other, 0).owner = 5;
  for (const char* name : {"r/a/h", "r/c/h"}) {
    fake_file_system::entry& linked = files.add(name, entry_status::kind::regular, 1000);
    linked.owner = 4;
    linked.inode = 9;
    linked.links = 2;
  }
  const auto owners_of = [this, &files](scan_options options) {
    detail_ledger ledger({.owners = true}, numbered_name);
    options.threads = threads();
    options.ledger = &ledger;
    const scan s(files, "r", verbosity::quiet, options);
    return quern_test::describe_owners(s.root, ledger);
  };
  EXPECT_EQ(owners_of({}),
            "r u1:2/75 u2:1/32 u3:1/12 u4:2/2000\n"
            "r/a u1:1/25 u2:1/25 u4:1/1000\n"
            "2 kept\n");
  EXPECT_EQ(owners_of({.hard_links_once = true}),
            "r u1:2/75 u2:1/32 u3:1/12 u4:1/1000\n"
            "r/a u1:1/25 u2:1/25 u4:1/1000\n"
            "2 kept\n");
  EXPECT_EQ(owners_of({.retention = {.max_depth = 0, .min_total = {}}}),
            "r u1:2/75 u2:1/32 u3:1/12 u4:2/2000\n1 kept\n");
}

// Every directory is counted with its figures per owner over its subtree,
// those of directories without pages too; the summary of every directory
// takes them so.
TEST_P(Scanner, EveryDirectoryIsCountedWithItsFiguresPerOwner) {
  fake_file_system files;
  for (const char* directory : {"r", "r/a", "r/a/b", "r/c", "r/e"}) files.add_directory(directory);
  files.add("r/f", entry_status::kind::regular, 50).owner = 1;
  files.add("r/a/f", entry_status::kind::regular, 25).owner = 2;
  files.add("r/a/b/f", entry_status::kind::regular, 25).owner = 1;
  files.add("r/c/f", entry_status::kind::regular, 12).owner = 3;
  files.add("r/c/g", entry_status::kind::regular, 4).owner = 1;
  detail_ledger ledger({.owners = true}, numbered_name);
  std::vector<std::string> told;
  scan_options options{.threads = threads(), .retention = {.max_depth = 0, .min_total = {}}, .ledger = &ledger};
  options.counted = [&told](directory_node* node, const subtree_details* details) {
    std::string line = node_path(node);
    for (const keyed_share& share : details->owners.shares()) {
      line += " u" + std::to_string(share.key) + ":" + std::to_string(share.files) + "/";
      append_decimal(line, share.bytes);
    }
    told.push_back(line);
  };
  const scan s(files, "r", verbosity::quiet, options);
  std::sort(told.begin(), told.end());
  EXPECT_EQ(told, (std::vector<std::string>{"r u1:3/79 u2:1/25 u3:1/12", "r/a u1:1/25 u2:1/25", "r/a/b u1:1/25",
                                            "r/c u1:1/4 u3:1/12", "r/e"}));
  EXPECT_EQ(quern_test::describe_owners(s.root, ledger), "r u1:3/79 u2:1/25 u3:1/12\n1 kept\n");
}

// Ages and the largest files are counted as the statistics are, in the
// space taken where asked: a file with several names once, at its first
// name in the walk's order, with the path it has there; each file knows
// whether its directory has pages, and which.
TEST_P(Scanner, AgesAndLargestFilesCountAsTheStatisticsDo) {
  fake_file_system files;
  for (const char* directory : {"r", "r/a", "r/a/b", "r/a/b/c", "r/e"}) files.add_directory(directory);
  const age_classes ages(1767225600);  // 2026-01-01T00:00:00Z
  const auto add = [&files](const char* path, int64_t size, int64_t allocated, int64_t modified) {
    fake_file_system::entry& entry = files.add(path, entry_status::kind::regular, size);
    entry.allocated = allocated;
    entry.modified = modified;
    return &entry;
  };
  add("r/f", 50, 4096, 1767225600);
  add("r/a/b/big", 1 << 20, 8192, 1767225601);  // sparse, and changed during the run
  add("r/a/b/c/g", 300, 4096, 1000);
  files.add("r/a/l", entry_status::kind::symlink, 7).modified = 1700000000;  // 2023
  for (const char* name : {"r/a/h", "r/e/h"}) {
    fake_file_system::entry* linked = add(name, 5000, 8192, 1600000000);  // 2020
    linked->inode = 9;
    linked->links = 2;
  }
  const auto describe = [this, &files, &ages](bool allocated) {
    detail_ledger ledger({.ages = ages, .largest = 3});
    const scan s(files, "r", verbosity::quiet,
                 {.threads = threads(), .hard_links_once = true, .allocated = allocated, .ledger = &ledger});
    std::string text;
    for (const directory_node* node : {s.root, s.root->subdirpointer[0], s.root->subdirpointer[0]->subdirpointer[0]}) {
      text += node_path(node) + ":";
      for (const keyed_share& share : ledger.details(node).ages.shares()) {
        text += " " + std::to_string(share.key) + "=";
        append_decimal(text, share.bytes);
        text += "/" + std::to_string(share.files);
      }
      text += " |";
      for (const auto& file : ledger.details(node).largest.files()) {
        text += " " + std::string(file->path()) + "=" + std::to_string(file->bytes()) + "@d" +
                std::to_string(file->directory_id()) + (file->directory_has_pages() ? "" : "-");
      }
      text += "\n";
    }
    return text;
  };
  EXPECT_EQ(describe(false),
            "r: 0=1048576/1 1=50/1 4=7/0 7=5000/1 11=300/1 | a/b/big=1048576@d3 a/h=5000@d2 a/b/c/g=300@d4-\n"
            "r/a: 0=1048576/1 4=7/0 7=5000/1 11=300/1 | a/b/big=1048576@d3 a/h=5000@d2 a/b/c/g=300@d4-\n"
            "r/a/b: 0=1048576/1 11=300/1 | a/b/big=1048576@d3 a/b/c/g=300@d4-\n");
  EXPECT_EQ(describe(true),
            "r: 0=8192/1 1=4096/1 4=0/0 7=8192/1 11=4096/1 | a/b/big=8192@d3 a/h=8192@d2 a/b/c/g=4096@d4-\n"
            "r/a: 0=8192/1 4=0/0 7=8192/1 11=4096/1 | a/b/big=8192@d3 a/h=8192@d2 a/b/c/g=4096@d4-\n"
            "r/a/b: 0=8192/1 11=4096/1 | a/b/big=8192@d3 a/b/c/g=4096@d4-\n");
}

}  // namespace
}  // namespace quern
