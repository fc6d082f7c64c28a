#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <regex>
#include <thread>

#include "quern_process.h"
#include "support/counters.h"
#include "support/report_check.h"

namespace quern_test {
namespace {

constexpr size_t kBlock = 4096;  // the unit in which a tmpfs hands out space

// A tree whose pages are of a few blocks each: the root and six directories
// with pages of their own.
void make_paged_tree(const std::string& root) {
  make_directory(root);
  for (const char* name : {"alpha", "beta", "gamma", "delta", "epsilon", "zeta"}) {
    make_directory(root + "/" + name);
    make_directory(root + "/" + name + "/inner");
    make_file(root + "/" + name + "/file", 1000);
  }
}

size_t count_of(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// What a run on a full disk must leave: only files identical to those of a
// run with room, a directory's pages written up to its first failure, and
// one report per file that failed and nothing else.
void expect_whole_files_and_one_report_per_failure(const std::map<std::string, std::string>& reference,
                                                   const std::string& output_directory, const run_result& result) {
  const std::map<std::string, std::string> written = read_report(output_directory);
  for (const auto& [name, text] : written) EXPECT_EQ(reference.at(name), text) << name << " is not whole";
  const std::string style_failure = "Konnte Stylesheet nicht erstellen: No space left on device\n";
  const std::string page_failure = "Konnte Output HTML nicht erstellen: No space left on device\n";
  const std::string index_failure = "Konnte Index HTML nicht erstellen: No space left on device\n";
  EXPECT_EQ(count_of(result.standard_error, style_failure), written.contains("styles.css") ? 0u : 1u);
  EXPECT_EQ(count_of(result.standard_error, index_failure), written.contains("index.html") ? 0u : 1u);

  std::map<std::string, std::string> pages_by_directory;  // the keys written, in the order they are written
  for (const page_order& page : kPageOrders) {
    for (const auto& [name, text] : reference) {
      if (!name.ends_with(std::string("_") + page.key + ".html")) continue;
      pages_by_directory[name.substr(0, name.find('_'))] += written.contains(name) ? "+" : "-";
    }
  }
  size_t incomplete = 0;
  for (const auto& [directory, pages] : pages_by_directory) {
    EXPECT_EQ(pages.find("-+"), std::string::npos) << directory << " has pages after a failed one: " << pages;
    if (pages.find('-') != std::string::npos) ++incomplete;
  }
  EXPECT_EQ(count_of(result.standard_error, page_failure), incomplete);
  EXPECT_EQ(count_of(result.standard_error, "\n"), count_of(result.standard_error, ": No space left on device\n"))
      << result.standard_error;
  EXPECT_EQ(result.exit_status, 1);
}

TEST(FaultsEndToEnd, AFullDiskLeavesOnlyWholeFilesAndReportsEachFailureOnce) {
  if (!tmpfs_mount::can_mount()) GTEST_SKIP() << "needs root to mount a small tmpfs";
  temporary_directory scratch;
  make_paged_tree(scratch / "root");
  for (const std::vector<std::string>& variant : thread_variants) {
    const std::string reference_directory = scratch / "reference";
    ASSERT_EQ(run_quern({with_variant(variant, {"-o", reference_directory, "-r", scratch / "root"})}).exit_status, 0);
    const std::map<std::string, std::string> reference = read_report(reference_directory);
    std::filesystem::remove_all(reference_directory);
    auto blocks = [](const std::string& text) { return (text.size() + kBlock - 1) / kBlock; };
    size_t all_blocks = 0;
    for (const auto& [name, text] : reference) all_blocks += blocks(text);

    // Room for: part of the style sheet; the style sheet and the root's first
    // two pages; everything but the index page, which comes last.
    const std::pair<size_t, const char*> cases[] = {
        {1, "Konnte Stylesheet"},
        {blocks(reference.at("styles.css")) + blocks(reference.at("d1_sb.html")) + blocks(reference.at("d1_sc.html")),
         "Konnte Output HTML"},
        {all_blocks - blocks(reference.at("index.html")), "Konnte Index HTML"}};
    for (const auto& [room, first_failure] : cases) {
      SCOPED_TRACE(std::to_string(room) + " blocks");
      const tmpfs_mount disk(scratch / "disk", std::to_string(room * kBlock));
      const run_result result =
          run_quern({with_variant(variant, {"-o", scratch / "disk/out", "-r", scratch / "root"})});
      EXPECT_TRUE(result.standard_error.starts_with(first_failure)) << result.standard_error;
      expect_whole_files_and_one_report_per_failure(reference, scratch / "disk/out", result);
    }
  }
}

TEST(FaultsEndToEnd, ExhaustedMemoryEndsTheRunWithTheOneMemoryLine) {
  if (QUERN_SANITIZED) GTEST_SKIP() << "the sanitizers' shadow memory needs a large address space";
  temporary_directory scratch;
  std::unique_ptr<tmpfs_mount> fast;
  if (tmpfs_mount::can_mount()) fast = std::make_unique<tmpfs_mount>(scratch / "fast", "64m");
  const std::string root = tmpfs_mount::can_mount() ? scratch / "fast/root" : scratch / "root";
  make_directory(root);
  // About 16 MB of directory names, which the tree keeps: more than the run
  // may take. (Files would not do: they are counted, never kept.)
  const std::string stem(200, 'n');
  for (int i = 0; i < 80000; ++i) make_directory(root + "/" + stem + std::to_string(i));
  for (const std::vector<std::string>& variant : thread_variants) {
    const run_result result =
        run_quern({.arguments = with_variant(variant, {"-o", scratch / "out", "-r", root}), .in_child = [] {
                     const rlimit limit = {24 << 20, 24 << 20};
                     ::setrlimit(RLIMIT_AS, &limit);
                   }});
    EXPECT_TRUE(std::regex_match(result.standard_error, std::regex("[a-z_ ]+: Quern [0-9]+ Malloc Error\\.\\.\\.\r\n")))
        << result.standard_error;
    EXPECT_EQ(result.exit_status, 2);
    std::filesystem::remove_all(scratch / "out");
  }
}

// Diagnostics that cannot be written cost nothing else: the report is the
// same as with a reader, and the exit status still says whether it has gaps.
TEST(FaultsEndToEnd, AStandardErrorThatIsGoneCostsNoPartOfTheReport) {
  int no_reader[2];
  ASSERT_EQ(::pipe(no_reader), 0);
  ::close(no_reader[0]);
  const std::pair<const char*, std::function<void()>> losses[] = {
      {"a pipe whose reader is gone",
       [&no_reader] {
         ::signal(SIGPIPE, SIG_DFL);
         ::dup2(no_reader[1], STDERR_FILENO);
       }},
      {"standard error closed", [] { ::close(STDERR_FILENO); }},
      {"all standard descriptors closed", [] {
         for (int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::close(descriptor);
       }}};
  for (const bool with_gap : {false, true}) {
    temporary_directory scratch;
    const std::string root = scratch / "root";
    make_directory(root);
    // Enough subdirectories that the comparison trace is written while pages
    // are open.
    for (int i = 0; i < 150; ++i) {
      make_directory(root + "/d" + std::to_string(i));
      make_file(root + "/d" + std::to_string(i) + "/f", i * 37 % 11);
    }
    if (with_gap) {
      make_directory(root + "/locked");
      ASSERT_EQ(::chmod((root + "/locked").c_str(), 0), 0);
    }
    for (const std::vector<std::string>& variant : thread_variants) {
      auto arguments = [&](const std::string& output) {
        return with_variant(variant, {"-v", "-v", "-v", "-v", "-o", output, "-r", root});
      };
      const run_result reference = run_quern({.arguments = arguments(scratch / "reference"), .unprivileged = true});
      ASSERT_EQ(reference.exit_status, with_gap ? 1 : 0) << reference.standard_error.substr(0, 200);
      for (const auto& [loss, in_child] : losses) {
        SCOPED_TRACE(std::string(loss) + (with_gap ? ", with a gap" : ""));
        const std::string output = scratch / ("out " + std::string(loss));
        const run_result result =
            run_quern({.arguments = arguments(output), .unprivileged = true, .in_child = in_child});
        EXPECT_EQ(result.exit_status, reference.exit_status);
        EXPECT_EQ(result.ending_signal, 0);
        EXPECT_TRUE(read_report(output) == read_report(scratch / "reference"));
        std::filesystem::remove_all(output);
      }
      std::filesystem::remove_all(scratch / "reference");
    }
  }
  ::close(no_reader[1]);
}

// Stops the child until `seen` holds while it is stopped, then acts and lets
// it go on; false when it ended first.
bool while_stopped_when(pid_t child, const std::function<bool()>& seen, const std::function<void()>& act) {
  for (int tries = 0; tries < 20000; ++tries) {
    int wait_status = 0;
    if (::kill(child, SIGSTOP) != 0) return false;
    pid_t waited;
    do waited = ::waitpid(child, &wait_status, WUNTRACED);
    while (waited < 0 && errno == EINTR);
    if (waited != child || !WIFSTOPPED(wait_status)) return false;
    const bool now = seen();
    if (now) act();
    ::kill(child, SIGCONT);
    if (now) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  return false;
}

// The names of the files of the directory the child has open for writing.
std::vector<std::string> open_for_writing(pid_t child, const std::string& directory) {
  std::vector<std::string> names;
  const std::string descriptors = "/proc/" + std::to_string(child) + "/fd";
  for (const auto& entry : std::filesystem::directory_iterator(descriptors)) {
    std::error_code failed;
    const std::filesystem::path target = std::filesystem::read_symlink(entry.path(), failed);
    if (!failed && target.parent_path() == directory) names.push_back(target.filename());
  }
  return names;
}

void make_wide_tree(const std::string& root, int subdirectories) {
  make_directory(root);
  for (int i = 0; i < subdirectories; ++i) make_directory(root + "/d" + std::to_string(i));
}

// Someone who may write to the output directory's parent renames it during
// the run and puts a link to another directory in its place: every file
// still goes where the run made its directory.
TEST(FaultsEndToEnd, AnOutputDirectorySwappedForALinkDuringTheRunRedirectsNothing) {
  temporary_directory scratch;
  make_wide_tree(scratch / "root", 3000);
  make_directory(scratch / "elsewhere");
  const std::string out = scratch / "out";
  bool swapped = false;
  const run_result result =
      run_quern({.arguments = {"-o", out, "-r", scratch / "root"}, .while_running = [&](pid_t child, int) {
                   swapped = while_stopped_when(
                       child, [&] { return exists(out + "/styles.css") && !exists(out + "/index.html"); },
                       [&] {
                         std::filesystem::rename(out, scratch / "moved");
                         std::filesystem::create_directory_symlink(scratch / "elsewhere", out);
                       });
                 }});
  ASSERT_TRUE(swapped);
  EXPECT_EQ(result.exit_status, 0) << result.standard_error;
  EXPECT_TRUE(std::filesystem::is_empty(scratch / "elsewhere"));
  EXPECT_EQ(report_fault(scratch / "moved"), "");
}

// A run ended by a signal leaves no file cut short under any name: not the
// summary that a nightly job would take for the last one, nor a page. A
// signal the run was started to ignore stays ignored.
TEST(FaultsEndToEnd, ASignalEndsTheRunWithoutAFileCutShortUnlessItIsIgnored) {
  temporary_directory scratch;
  // Pages of the directories below the root are written during the scan,
  // while the summary grows.
  make_directory(scratch / "root");
  for (int i = 0; i < 100; ++i) make_wide_tree(scratch / ("root/" + std::to_string(i)), 60);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, 0}) {
    SCOPED_TRACE(signal_number);
    const std::string out = scratch / ("out" + std::to_string(signal_number));
    const std::string summary = scratch / ("night" + std::to_string(signal_number) + ".summary");
    std::vector<std::string> open;
    const run_result result = run_quern(
        {.arguments = {"--summary", summary, "-o", out, "-r", scratch / "root"},
         .while_running =
             [&](pid_t child, int) {
               while_stopped_when(
                   child,
                   [&] { return exists(summary + ".partial") && !(open = open_for_writing(child, out)).empty(); },
                   [&] { ::kill(child, signal_number != 0 ? signal_number : SIGTERM); });
             },
         .in_child =
             [signal_number] {
               if (signal_number == 0) ::signal(SIGTERM, SIG_IGN);
             }});
    ASSERT_FALSE(open.empty()) << "no file was ever open";
    if (signal_number == 0) {
      EXPECT_EQ(result.exit_status, 0);
      EXPECT_EQ(report_fault(out), "");
      EXPECT_TRUE(exists(summary));
      continue;
    }
    EXPECT_EQ(result.ending_signal, signal_number);
    // The run may have placed its summary, whole, before the signal came
    // through; never a part of one.
    if (exists(summary)) {
      const std::string text = read_file(summary);
      const size_t last_line = text.rfind('\n', text.size() - 2);
      EXPECT_TRUE(text.ends_with("\n") && last_line != std::string::npos &&
                  text.compare(last_line + 1, 5, "#end\t") == 0)
          << "a summary cut short";
    }
    EXPECT_FALSE(exists(summary + ".partial"));
    // A file open at the signal may still have been completed.
    for (const auto& [name, text] : read_report(out)) {
      EXPECT_TRUE(text.ends_with(name == "styles.css" ? "background-color:#000000; }\r\n" : "</html>\r\n")) << name;
    }
  }
}

}  // namespace
}  // namespace quern_test
