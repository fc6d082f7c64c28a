#include "report/concurrent_pages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "report/traversal.h"
#include "support/fake_file_system.h"
#include "support/tree_nodes.h"
#include "tree/subtree_details.h"

namespace quern {
namespace {

// Output files that run out at `limit` open at once, as a process's
// descriptors do.
class scarce_descriptors final : public fake_file_system {
 public:
  explicit scarce_descriptors(int limit) : limit_(limit) {}

  status create_file(const std::string& path, std::unique_ptr<output_file>& result) override {
    {
      std::unique_lock guard(count_mutex_);
      if (open_ >= limit_) {
        guard.unlock();
        // Lets the other writers go on meanwhile, as a system call does.
        std::this_thread::yield();
        return status::error(EMFILE);
      }
      ++open_;
    }
    std::unique_ptr<output_file> opened;
    const status created = fake_file_system::create_file(path, opened);
    if (created.is_ok()) {
      result = std::make_unique<counted>(*this, std::move(opened));
    } else {
      closed();
    }
    return created;
  }

 private:
  class counted final : public output_file {
   public:
    counted(scarce_descriptors& owner, std::unique_ptr<output_file> file) : owner_(owner), file_(std::move(file)) {}
    ~counted() override { owner_.closed(); }
    status write(std::string_view bytes) override { return file_->write(bytes); }
    status close() override { return file_->close(); }
    status close_as(std::string_view name) override { return file_->close_as(name); }

   private:
    scarce_descriptors& owner_;
    std::unique_ptr<output_file> file_;
  };

  void closed() {
    const std::lock_guard guard(count_mutex_);
    --open_;
  }

  std::mutex count_mutex_;
  const int limit_;
  int open_ = 0;
};

// Twelve directories below the root, most with subdirectories of their own,
// of sizes that sort differently in every order; each run gets a tree of
// its own, as writing pages sorts the children.
struct sample_tree {
  sample_tree() {
    root = add(nullptr, "R", 0);
    for (int i = 0; i < 12; ++i) {
      directory_node* child = add(root, "c" + std::to_string(i), i * 37 % 11);
      child->files = i % 5;
      for (int j = 0; i % 4 != 3 && j < 3; ++j) add(child, "g" + std::to_string(j), (i + j) % 4);
    }
    // The last made first: each directory's subtree is summed before it
    // joins its parent, as in a scan.
    for (auto node = made.rbegin(); node != made.rend(); ++node) join_parent(*node);
  }
  directory_node* add(directory_node* parent, const std::string& name, uint64_t size) {
    directory_node* node = quern_test::add_node(tree, parent, name);
    node->size = byte_total(size);
    if (parent != nullptr) made.push_back(node);
    return node;
  }

  diagnostics quiet{verbosity::quiet, -1};
  directory_tree tree{quiet};
  directory_node* root;
  std::vector<directory_node*> made;  // but the root
};

// What writing the pages said, how many failed, and what was written.
struct written_pages {
  std::string said;
  int64_t failures;
  std::map<std::string, std::string> files;
  bool operator==(const written_pages&) const = default;
};

void add_faults(fake_file_system& files) {
  files.fail_output("out/d10_sb.html", fake_file_system::stage::create, EACCES);
  files.fail_output("out/d23_sf.html", fake_file_system::stage::write, ENOSPC);
}

written_pages write_pages(fake_file_system& files,
                          const std::function<void(const report_context&, sample_tree&)>& how) {
  sample_tree sample;
  report_options config;
  config.outputdirectory = "out";
  diagnostics diag(verbosity::operations, -1);
  how({config, diag, files.output_at(config.outputdirectory)}, sample);
  return {diag.collected(), diag.failures(), files.written};
}

written_pages by_one_writer(fake_file_system& files) {
  return write_pages(files, [](const report_context& context, sample_tree& sample) { output(context, sample.root); });
}

// However many write and in whatever order directories are submitted, the
// pages and everything said while writing them are those of one writer.
TEST(PageCrew, WritesAndSaysWhatOneWriterDoesWhateverTheOrderOfSubmission) {
  fake_file_system alone;
  add_faults(alone);
  const written_pages expected = by_one_writer(alone);
  EXPECT_EQ(expected.failures, 2);
  for (int writers : {1, 4}) {
    fake_file_system whole;
    add_faults(whole);
    EXPECT_EQ(write_pages(whole,
                          [writers](const report_context& context, sample_tree& sample) {
                            page_crew crew(context, writers);
                            crew.submit_tree(sample.root);
                            crew.commit(sample.root);
                          }),
              expected)
        << writers << " writers";

    // As a scan submits them, each subtree once it is counted; the root and
    // the last directory are left for the commit to write.
    fake_file_system counted;
    add_faults(counted);
    EXPECT_EQ(write_pages(counted,
                          [writers](const report_context& context, sample_tree& sample) {
                            page_crew crew(context, writers);
                            std::vector<directory_node*> finished;
                            for (int64_t i = 0; i + 1 < sample.root->currentsubdirs(); ++i) {
                              directory_node* child = sample.root->subdirpointer[i];
                              for (int64_t j = 0; j < child->currentsubdirs(); ++j)
                                finished.push_back(child->subdirpointer[j]);
                              finished.push_back(child);
                            }
                            for (directory_node* node : finished) crew.submit(node);
                            crew.commit(sample.root);
                          }),
              expected)
        << writers << " writers";
  }
}

// A writer that runs out of descriptors waits for another one's file to
// close; only where none of the writers' files is open does it fail, as a
// writer alone would.
TEST(PageCrew, WritersShortOfDescriptorsWaitForAnotherOnesFileInsteadOfFailing) {
  const auto crew_of_four = [](const report_context& context, sample_tree& sample) {
    page_crew crew(context, 4);
    crew.submit_tree(sample.root);
    crew.commit(sample.root);
  };
  fake_file_system plenty;
  const written_pages expected = by_one_writer(plenty);
  scarce_descriptors one_at_a_time(1);
  EXPECT_EQ(write_pages(one_at_a_time, crew_of_four), expected);

  scarce_descriptors none(0);
  const written_pages refused = write_pages(none, crew_of_four);
  EXPECT_EQ(refused.failures, 10);  // the first page of each directory with pages
  scarce_descriptors none_for_one(0);
  EXPECT_EQ(refused, by_one_writer(none_for_one));
}

std::optional<std::string> slow_name(owner_id user) {
  // Long enough for other writers to ask for the same name meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return "user" + std::to_string(user);
}

// Each directory with pages in the order a scan finishes them, children
// first, with its figures per owner kept just before.
void keep_and_submit(const report_context& context, sample_tree& sample, detail_ledger& ledger, page_crew* crew) {
  std::vector<directory_node*> finished;
  for (int64_t i = 0; i < sample.root->currentsubdirs(); ++i) {
    if (sample.root->subdirpointer[i]->currentsubdirs() > 0) finished.push_back(sample.root->subdirpointer[i]);
  }
  finished.push_back(sample.root);
  for (directory_node* node : finished) {
    subtree_details details;
    details.owners.add(static_cast<owner_id>(node->id() % 3), node->total_size().low(), node->total_files());
    details.owners.add(static_cast<owner_id>(node->id() % 5 + 3), 0, 0);
    details.ages.add(static_cast<uint32_t>(node->id() % kAgeOlder), node->total_size().low(), node->total_files());
    details.largest = largest_files(2);
    details.largest.rank(node_path(node) + "/file", node->total_size().low(), 0, 1);
    details.largest.place_own_files(node->id(), true);
    ledger.keep(node, details);
    if (crew != nullptr) crew->submit(node);
  }
  if (crew != nullptr) {
    crew->commit(sample.root);
  } else {
    output(context, sample.root);
  }
}

// Writers ask for names and give details back while more are kept: the
// pages are those of one writer, and only the root's details stay.
TEST(PageCrew, DetailsAreThoseOfOneWriterWhileTheyComeAndGo) {
  const auto with_owners = [](int writers) {
    return [writers](const report_context& context, sample_tree& sample) {
      detail_ledger ledger({.owners = true, .ages = age_classes(0), .largest = 2}, slow_name);
      report_options options = context.options;
      options.owners = options.ages = true;
      options.largest = 2;
      const report_context owned{options, context.diag, context.output, &ledger};
      if (writers == 0) {
        keep_and_submit(owned, sample, ledger, nullptr);
      } else {
        page_crew crew(owned, writers);
        keep_and_submit(owned, sample, ledger, &crew);
      }
      EXPECT_EQ(ledger.kept(), 1u);
    };
  };
  fake_file_system alone;
  const written_pages expected = write_pages(alone, with_owners(0));
  EXPECT_NE(expected.files.at("out/d1_sn.html").find("<td class=\"tdownername\">user1</td>"), std::string::npos);
  EXPECT_NE(expected.files.at("out/d1_sn.html").find("<td class=\"tddetailname\">1970</td>"), std::string::npos);
  fake_file_system crew;
  EXPECT_EQ(write_pages(crew, with_owners(4)), expected);
}

}  // namespace
}  // namespace quern
