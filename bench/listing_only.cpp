// Builds Quern's tree from a listing alone, without writing a report, so
// that reading a listing can be timed apart from the pages.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/diagnostics.h"
#include "tree/directory_node.h"
#include "tree/listing_reader.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s LISTING ROOT\n", argv[0]);
    return 2;
  }
  const std::string root_path = argv[2];
  quern::diagnostics diag(quern::verbosity::quiet, STDERR_FILENO);
  quern::directory_tree tree(diag);
  quern::directory_node* root = tree.create_directory_node();
  tree.set_name(root, root_path.data(), root_path.size());
  quern::read_listing(tree, root, root_path, {argv[1], '\0'}, quern::platform_file_system(), diag);
  std::string bytes;
  quern::append_decimal(bytes, root->total_size());
  std::fprintf(stderr, "directories %lld files %lld bytes %s\n", static_cast<long long>(tree.structures()),
               static_cast<long long>(root->total_files()), bytes.c_str());
  return diag.failures() > 0 ? 1 : 0;
}
