// Runs Quern's scanner alone over a tree, without writing a report, so that
// the scan can be timed against other walks of the same tree, and the scan
// options against each other. With --paging PERCENT it also tells the
// smallest --min-size that still gives pages to that share of the
// directories that get pages without a cap.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "tree/directory_node.h"
#include "tree/scanner.h"

namespace {

// The total bytes of the directory at the given share from the top, among
// the root and every directory with subdirectories.
quern::byte_total total_at_share(const quern::directory_node* root, double percent) {
  std::vector<quern::byte_total> totals;
  std::vector<const quern::directory_node*> pending{root};
  while (!pending.empty()) {
    const quern::directory_node* node = pending.back();
    pending.pop_back();
    totals.push_back(node->total_size());
    for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
      if (node->subdirpointer[slot]->currentsubdirs() > 0) pending.push_back(node->subdirpointer[slot]);
    }
  }
  std::sort(totals.begin(), totals.end(), std::greater<>());
  const auto wanted = static_cast<size_t>(static_cast<double>(totals.size()) * percent / 100.0);
  return totals[std::min(totals.size() - 1, wanted > 0 ? wanted - 1 : 0)];
}

}  // namespace

int main(int argc, char** argv) {
  quern::scan_options options;
  double paging = 0;
  int next = 1;
  for (; next < argc - 1; ++next) {
    if (std::strcmp(argv[next], "-x") == 0) {
      options.one_file_system = true;
    } else if (std::strcmp(argv[next], "--hard-links-once") == 0) {
      options.hard_links_once = true;
    } else if (std::strcmp(argv[next], "-j") == 0 && next + 1 < argc - 1) {
      options.threads = std::atoi(argv[++next]);
    } else if (std::strcmp(argv[next], "--paging") == 0 && next + 1 < argc - 1) {
      paging = std::atof(argv[++next]);
    } else {
      break;
    }
  }
  if (next != argc - 1 || options.threads < 1 || paging < 0 || paging > 100) {
    std::fprintf(stderr, "usage: %s [-x] [--hard-links-once] [-j THREADS] [--paging PERCENT] ROOT\n", argv[0]);
    return 2;
  }
  const std::string root_path = argv[next];
  quern::diagnostics diag(quern::verbosity::quiet, STDERR_FILENO);
  quern::directory_tree tree(diag);
  quern::directory_node* root = tree.create_directory_node();
  tree.set_name(root, root_path.data(), root_path.size());
  quern::jumper(tree, root, root_path, quern::platform_file_system(), diag, options);
  std::string bytes;
  quern::append_decimal(bytes, root->total_size());
  std::fprintf(stderr, "directories %lld files %lld bytes %s\n", static_cast<long long>(tree.structures()),
               static_cast<long long>(root->total_files()), bytes.c_str());
  if (paging > 0) {
    std::string size;
    quern::append_decimal(size, total_at_share(root, paging));
    std::printf("%s\n", size.c_str());
  }
  return diag.failures() > 0 ? 1 : 0;
}
