#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/diagnostics.h"
#include "report/figures.h"
#include "report/ordering.h"
#include "tree/directory_node.h"

namespace quern {
namespace {

// A directory with the given number of children whose byte totals take few
// distinct values, as in a tree of many similar directories.
class wide_directory {
 public:
  explicit wide_directory(int64_t count) : parent_(tree_.create_directory_node()) {
    std::mt19937_64 rng(42);
    for (int64_t i = 0; i < count; ++i) {
      directory_node* child = tree_.create_directory_node();
      const std::string name = "dir" + std::to_string(rng());
      tree_.set_name(child, name.data(), name.size());
      child->size = quern::byte_total(rng() % 10 * 4096);
      tree_.add_subdir_to_directory(parent_, child);
    }
    scan_order_.assign(parent_->subdirpointer, parent_->subdirpointer + count);
  }

  // Every sort starts from the scan order, not from the previous result.
  directory_node* fresh() {
    std::copy(scan_order_.begin(), scan_order_.end(), parent_->subdirpointer);
    return parent_;
  }

 private:
  diagnostics diag_{verbosity::quiet, -1};
  directory_tree tree_{diag_};
  directory_node* parent_;
  std::vector<directory_node*> scan_order_;
};

// The baseline: every pair compared, keys read through the nodes.
void exchange_sort_by_size(directory_node* node) {
  directory_node** slots = node->subdirpointer;
  for (int64_t i = 0; i < node->currentsubdirs() - 1; ++i) {
    for (int64_t j = i + 1; j < node->currentsubdirs(); ++j) {
      if (slots[i]->total_size() < slots[j]->total_size()) std::swap(slots[i], slots[j]);
    }
  }
}

// By a figure, or by name where it is null.
template <const figure* by>
void BM_my_sort(benchmark::State& state) {
  wide_directory directory(state.range(0));
  diagnostics quiet(verbosity::quiet, -1);
  for (auto _ : state) {
    directory_node* node = directory.fresh();
    my_sort(node, by, quiet);
    benchmark::DoNotOptimize(node->subdirpointer[0]);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_my_sort<&kFigures[kBytes]>)->Arg(16)->Arg(64)->Arg(2000)->Arg(20000);
BENCHMARK(BM_my_sort<nullptr>)->Arg(64)->Arg(2000)->Arg(20000);

void BM_exchange_sort_size(benchmark::State& state) {
  wide_directory directory(state.range(0));
  for (auto _ : state) {
    directory_node* node = directory.fresh();
    exchange_sort_by_size(node);
    benchmark::DoNotOptimize(node->subdirpointer[0]);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_exchange_sort_size)->Arg(16)->Arg(64)->Arg(2000);

}  // namespace
}  // namespace quern

BENCHMARK_MAIN();
