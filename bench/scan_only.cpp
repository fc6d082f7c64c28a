// Runs Quern's scanner alone over a tree, without writing a report, so that
// the scan can be timed against other walks of the same tree, and the scan
// options against each other.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/diagnostics.h"
#include "tree/directory_node.h"
#include "tree/scanner.h"

int main(int argc, char** argv) {
  quern::scan_options options;
  int next = 1;
  for (; next < argc - 1; ++next) {
    if (std::strcmp(argv[next], "-x") == 0) {
      options.one_file_system = true;
    } else if (std::strcmp(argv[next], "--hard-links-once") == 0) {
      options.hard_links_once = true;
    } else if (std::strcmp(argv[next], "-j") == 0 && next + 1 < argc - 1) {
      options.threads = std::atoi(argv[++next]);
    } else {
      break;
    }
  }
  if (next != argc - 1 || options.threads < 1) {
    std::fprintf(stderr, "usage: %s [-x] [--hard-links-once] [-j THREADS] ROOT\n", argv[0]);
    return 2;
  }
  const std::string root_path = argv[next];
  quern::diagnostics diag(quern::verbosity::quiet, STDERR_FILENO);
  quern::directory_tree tree(diag);
  quern::directory_node* root = tree.create_directory_node();
  tree.set_name(root, root_path.data(), root_path.size());
  quern::jumper(tree, root, root_path, quern::platform_file_system(), diag, options);
  std::fprintf(stderr, "directories %lld files %lld bytes %lld\n", static_cast<long long>(tree.structures()),
               static_cast<long long>(root->files + root->recurfiles),
               static_cast<long long>(root->size + root->recursize));
  return diag.failures() > 0 ? 1 : 0;
}
