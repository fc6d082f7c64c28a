#include "support/exchange_sort.h"

#include <algorithm>
#include <cstring>

#include "support/counters.h"

// A plain reference needs neither checks nor coverage: the fuzz targets'
// millions of checked and traced comparisons would cost far more than the
// code under test.
#if defined(__clang__)
#define UNINSTRUMENTED __attribute__((no_sanitize("coverage", "address")))
#else
#define UNINSTRUMENTED
#endif

namespace quern_test {

namespace {

const char* const kTraceWords[] = {"size", "subdir", "files", "symlink", "device", "name"};

void trace_comparison(std::string& trace, order by, const quern::directory_node* a, const quern::directory_node* b) {
  trace += std::string("**** sorting by ") + kTraceWords[static_cast<size_t>(by)] + " " + quern::node_id(a) + " and " +
           quern::node_id(b) + "\r\n";
}

// Plain pointers: library calls would not be inlined into a function built
// without the instrumentation, and would be instrumented themselves.
UNINSTRUMENTED void sort_keyed(quern::byte_total* keys, quern::directory_node** list, size_t n, order by,
                               std::string* trace) {
  for (size_t i = 0; i + 1 < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      if (trace != nullptr) trace_comparison(*trace, by, list[i], list[j]);
      if (keys[i] < keys[j]) {
        const quern::byte_total key = keys[i];
        keys[i] = keys[j];
        keys[j] = key;
        quern::directory_node* const node = list[i];
        list[i] = list[j];
        list[j] = node;
      }
    }
  }
}

}  // namespace

// Keys are taken out first, names as how many names follow them: lists of
// thousands make millions of comparisons.
void exchange_sort(std::vector<quern::directory_node*>& list, order by, std::string* trace) {
  std::vector<quern::byte_total> keys(list.size());
  if (by == order::name) {
    std::vector<const char*> names;
    for (const quern::directory_node* node : list) names.push_back(node->name);
    const auto before = [](const char* a, const char* b) { return std::strcmp(a, b) < 0; };
    std::sort(names.begin(), names.end(), before);
    for (size_t i = 0; i < list.size(); ++i) {
      const auto earlier = std::lower_bound(names.begin(), names.end(), list[i]->name, before) - names.begin();
      keys[i] = quern::byte_total(list.size() - static_cast<size_t>(earlier));
    }
  } else {
    for (size_t i = 0; i < list.size(); ++i) keys[i] = total(list[i], counter_of(by));
  }
  sort_keyed(keys.data(), list.data(), list.size(), by, trace);
}

}  // namespace quern_test
