// The page writer on trees made of the input: names of any bytes, counts up
// to the 64-bit extremes, any column switches and verbosity, owners or none,
// and now and then a file that cannot be written. Every page must be
// well-formed with every name escaped, show the right rows and figures and
// owners that add up to them, and link only to pages that exist; a file
// that failed must not stay, and figures per owner must be given back once
// their pages are written.
#include <algorithm>
#include <cerrno>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/text.h"
#include "fuzz_input.h"
#include "report/page_frame.h"
#include "report/page_names.h"
#include "report/style_sheet.h"
#include "report/traversal.h"
#include "support/counters.h"
#include "support/fake_file_system.h"
#include "support/report_check.h"
#include "support/tree_nodes.h"
#include "tree/directory_node.h"
#include "tree/subtree_details.h"

namespace {

using quern::byte_total;
using quern::directory_node;

constexpr size_t kMostDirectories = 48;

// Owners are named after the directories of the case, names of any bytes;
// odd numbers have no name.
const std::vector<directory_node*>* named_after = nullptr;

std::optional<std::string> owner_name(quern::owner_id owner) {
  if (owner % 2 == 1) return std::nullopt;
  return std::string((*named_after)[owner / 2 % named_after->size()]->name);
}

// Splits the directory's own files and bytes among one to four owners out
// of forty and as many age classes, as the byte says; its largest file
// bears its own name, which may be hostile.
quern::subtree_details own_figures(const directory_node& node, uint8_t owners) {
  quern::subtree_details figures;
  const uint64_t count = 1 + (owners & 3);
  const uint64_t bytes = node.size.low();
  const auto files = static_cast<uint64_t>(node.files);
  for (uint64_t share = 0; share < count; ++share) {
    const auto owner = static_cast<quern::owner_id>(((owners >> 2) + share * 13) % 40);
    const uint64_t first = share == 0 ? 1 : 0;
    const uint64_t share_bytes = bytes / count + first * (bytes % count);
    const auto share_files = static_cast<int64_t>(files / count + first * (files % count));
    figures.owners.add(owner, share_bytes, share_files);
    figures.ages.add(owner % (quern::kAgeOlder + 1), share_bytes, share_files);
  }
  std::string path = node.name + std::string(".dat");
  for (const directory_node* up = node.parent; up != nullptr && up->parent != nullptr; up = up->parent)
    path = up->name + ("/" + path);
  figures.largest = quern::largest_files(3);
  figures.largest.rank(path, bytes, static_cast<int64_t>(bytes) - 1, owners % 40);
  return figures;
}

std::string escaped(std::string_view text) {
  std::string out;
  quern::append_html_escaped(out, text);
  return out;
}

// The name cells of a page's rows, without their links and marks.
std::vector<std::string> row_names(std::string_view page) {
  std::vector<std::string> names = quern_test::cells_of_class(page, "tdlistname");
  for (std::string& name : names) {
    if (const size_t mark = name.find(" <span class=\"gapmark\">"); mark != std::string::npos) name.resize(mark);
    if (!name.starts_with("<a href=\"")) continue;
    const size_t start = name.find("\">") + 2;
    name = name.substr(start, name.size() - start - 4);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input input(data, size);
  quern::report_options config;
  config.outputdirectory = "out";
  const unsigned switches = input.byte() | static_cast<unsigned>(input.byte()) << 8;
  int quern::report_options::*const flags[] = {
      &quern::report_options::display_row_size,    &quern::report_options::display_row_subdirs,
      &quern::report_options::display_row_files,   &quern::report_options::display_row_symlinks,
      &quern::report_options::display_row_devices, &quern::report_options::sort_row_size,
      &quern::report_options::sort_row_subdirs,    &quern::report_options::sort_row_files,
      &quern::report_options::sort_row_symlinks,   &quern::report_options::sort_row_devices};
  for (size_t s = 0; s < 10; ++s) config.*flags[s] = (switches >> s) & 1 ? 0 : 1;
  const bool with_owners = (switches >> 10) & 1;
  config.owners = with_owners;
  // The tables of ages and of the largest files, with or without owners.
  const bool with_details = (switches >> 11) & 1;
  config.ages = with_details;
  config.largest = with_details ? 3 : 0;
  // Share bars, treemaps and marks where directories were not read whole.
  config.pictures = (switches >> 12) & 1;
  const auto level = static_cast<quern::verbosity>(input.byte() % 5);
  const uint8_t fault = input.byte();

  // Counts up to their largest value; sizes up to the largest an entry can
  // have, so that sums go beyond 64 bits.
  constexpr uint64_t kLargest = INT64_MAX;
  uint64_t palette[16] = {0,
                          1,
                          2,
                          7,
                          999,
                          1000,
                          123456,
                          1234567,
                          uint64_t{1} << 32,
                          uint64_t{5} << 40,
                          kLargest - 1,
                          kLargest,
                          kLargest / 2,
                          kLargest - 1000,
                          uint64_t{1} << 62,
                          3};
  for (size_t replaced = input.byte() % 17, slot = 0; slot < replaced; ++slot) palette[slot] = input.u64() & kLargest;

  quern::diagnostics diag(level, -1);
  quern::directory_tree tree(diag);
  std::vector<directory_node*> nodes;
  std::vector<quern::subtree_details> owners;
  do {
    directory_node* parent = nodes.empty() ? nullptr : nodes[input.byte() % nodes.size()];
    std::string name(input.bytes(1 + input.byte() % 64));
    // Names are C strings: a NUL byte cannot be part of one.
    std::replace(name.begin(), name.end(), '\0', '/');
    if (name.empty()) name = "e";
    directory_node* node = quern_test::add_node(tree, parent, name);
    const uint8_t counts = input.byte(), more = input.byte();
    // Counts of entries in a real tree stay far below their largest value,
    // so that their sums over a few dozen directories cannot overflow.
    node->files = static_cast<int64_t>(palette[counts & 15] >> 8);
    node->size = byte_total(palette[counts >> 4]);
    node->symlinks = static_cast<int64_t>(palette[more & 15] >> 8);
    node->devices = static_cast<int64_t>(palette[more >> 4] >> 8);
    node->gaps = static_cast<uint8_t>((counts ^ more) & 7);
    nodes.push_back(node);
    owners.push_back(own_figures(*node, input.byte()));
  } while (!input.empty() && nodes.size() < kMostDirectories);
  for (size_t index = 0; index < nodes.size(); ++index)
    owners[index].largest.place_own_files(nodes[index]->id(), index == 0 || nodes[index]->currentsubdirs() > 0);
  // Children come after their parents: joining them from the back sums each
  // subtree before it joins the one above, as the scan does.
  for (size_t index = nodes.size(); index-- > 1;) {
    const directory_node* node = nodes[index];
    quern::join_parent(nodes[index]);
    const size_t parent = static_cast<size_t>(std::find(nodes.begin(), nodes.end(), node->parent) - nodes.begin());
    owners[parent].merge(owners[index]);
  }
  named_after = &nodes;
  quern::detail_ledger ledger({.owners = with_owners, .ages = quern::age_classes(0), .largest = 3}, owner_name);
  for (size_t index = 0; index < nodes.size(); ++index) {
    if (index == 0 || nodes[index]->currentsubdirs() > 0) ledger.keep(nodes[index], owners[index]);
  }

  quern::fake_file_system files;
  std::string failed;
  if (fault != 0) {
    const size_t victim = fault % (nodes.size() + 1);
    failed = "out/";
    if (victim == nodes.size()) {
      failed += "index.html";
    } else {
      if (config.pictures && (fault & 0x80) != 0) {
        quern::append_picture_name(failed, nodes[victim]);
      } else {
        quern::append_page_name(failed, nodes[victim], quern_test::kPageOrders[(fault >> 4) % 6].key);
      }
    }
    const auto stage = static_cast<quern::fake_file_system::stage>((fault >> 2) % 3);
    files.fail_output(failed, stage, ENOSPC);
  }
  const quern::report_context context{config, diag, files.output_at(config.outputdirectory),
                                      with_owners || with_details ? &ledger : nullptr};
  quern::output_stylesheet(context);
  quern::output(context, nodes.front());
  quern::output_index_html(context, nodes.front());

  require(!files.written.contains(failed), "a file that failed does not stay");
  if (with_owners || with_details) {
    require(ledger.kept() == (ledger.details(nodes.front()).empty() ? 0u : 1u),
            "figures per owner are given back once their pages are written, but the root's");
  }
  require(diag.failures() <= 1, "only the file that failed is reported");
  std::map<std::string, const directory_node*> by_id;
  for (const directory_node* node : nodes) by_id[quern::node_id(node)] = node;
  for (const auto& [path, page] : files.written) {
    if (path == "out/styles.css") continue;
    if (path.ends_with(".svg")) {
      require(config.pictures, "treemaps are drawn only when asked for");
      require(quern_test::xml_fault(page).empty(), "every treemap is well-formed XML with every name escaped");
      for (const std::string& target : quern_test::link_targets(page))
        require(!failed.empty() || files.written.contains("out/" + target), "every tile's link has its page");
      continue;
    }
    require(quern_test::markup_fault(page).empty(), "every page is well-formed with every name escaped");
    require((page.find("<div class=\"ownerstext\">") != std::string::npos) == with_owners,
            "pages show owners exactly when asked to");
    require(quern_test::owners_fault(page).empty(), "the owners add up to the totals on every page");
    require((page.find("<td class=\"tdheaddetail\">Letzte &Auml;nderung</td>") != std::string::npos) == with_details,
            "pages show ages exactly when asked to");
    require(quern_test::ages_fault(page).empty(), "the ages add up to the totals on every page");
    if (failed.empty()) {
      for (const std::string& target : quern_test::link_targets(page)) {
        require(target == quern::kHomePage || files.written.contains("out/" + target), "every link has its file");
      }
    }
    if (path == "out/index.html") {
      require(page.find("Weiter zur Detailansicht von " + escaped(quern::node_path(nodes.front())) + "</a>") !=
                  std::string::npos,
              "the entry page names the root");
      continue;
    }
    require(quern_test::figures_fault(page).empty(), "every page's figures add up");
    const directory_node* node = by_id.at(path.substr(4, path.find('_') - 4));
    require(page.find("<h1>" + escaped(quern::node_path(node)) + "</h1>") != std::string::npos,
            "the heading is the escaped path");
    std::vector<std::string> children;
    for (int64_t slot = 0; slot < node->currentsubdirs(); ++slot) {
      children.push_back(escaped(node->subdirpointer[slot]->name));
    }
    std::sort(children.begin(), children.end());
    require(row_names(page) == children, "the rows are the escaped names of the subdirectories");
    if (node->parent != nullptr) {
      require(page.find("class=\"toplistlink\">" + escaped(node->parent->name) + "</a> / ") != std::string::npos,
              "the trail names the parent escaped");
    }
  }
  return 0;
}
