#include "report/ordering.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace quern {

namespace {

// Up to this length the plain exchange sort beats the rank bookkeeping below,
// and it is exact by definition.
constexpr size_t kExchangeLimit = 16;
// Below this length the passes of the radix sort cost more than a comparison
// sort.
constexpr size_t kRadixMinimum = 256;

// True when the entry at the lower position must come after the other one.
bool must_follow(const directory_node* a, const directory_node* b, const figure* by) {
  if (by == nullptr) return std::strcmp(a->name, b->name) > 0;
  return total_of(*by, *a) < total_of(*by, *b);
}

template <typename Item, typename Follows>
void exchange_sort(Item* items, size_t n, Follows follows) {
  for (size_t i = 0; i + 1 < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      if (follows(items[i], items[j])) std::swap(items[i], items[j]);
    }
  }
}

void traced_exchange_sort(directory_node** slots, size_t n, const figure* by, diagnostics& diag) {
  const std::string prefix = "**** sorting by " + std::string(by != nullptr ? by->sort_word : "name") + " ";
  std::string line;
  exchange_sort(slots, n, [&](const directory_node* a, const directory_node* b) {
    line = prefix;
    append_node_id(line, a);
    line += " and ";
    append_node_id(line, b);
    line += "\r\n";
    diag.write(line);
    return must_follow(a, b, by);
  });
}

struct ranked {
  // Both words ascend as the key descends.
  uint64_t low;
  uint64_t high;
  size_t position;

  bool operator<(const ranked& other) const {
    if (high != other.high) return high < other.high;
    if (low != other.low) return low < other.low;
    return position < other.position;
  }
  bool same_rank(const ranked& other) const { return high == other.high && low == other.low; }
};

struct named {
  const char* name;
  size_t position;
};

// Counts over slots 1..size with prefix sums and rank search, all logarithmic.
// The tree spans a power of two so that the search needs no bounds test and
// runs without branches: its comparisons are unpredictable.
class slot_counts {
 public:
  explicit slot_counts(std::vector<size_t>& tree) : tree_(tree) {}

  void reset_empty(size_t size) { tree_.assign(std::bit_ceil(size) + 1, 0); }
  // Every slot holds one, the padding too: a search for a rank no greater
  // than size never passes slot size.
  void reset_full(size_t size) {
    tree_.resize(std::bit_ceil(size) + 1);
    for (size_t slot = 1; slot < tree_.size(); ++slot) tree_[slot] = lowest_bit(slot);
  }
  void increment(size_t slot) {
    for (; slot < tree_.size(); slot += lowest_bit(slot)) ++tree_[slot];
  }
  void decrement(size_t slot) {
    for (; slot < tree_.size(); slot += lowest_bit(slot)) --tree_[slot];
  }
  // Sum over slots 1..slot.
  size_t prefix(size_t slot) const {
    size_t sum = 0;
    for (; slot > 0; slot -= lowest_bit(slot)) sum += tree_[slot];
    return sum;
  }
  // The first slot whose prefix sum reaches rank (rank >= 1).
  size_t find(size_t rank) const {
    size_t slot = 0;
    for (size_t step = (tree_.size() - 1) / 2; step > 0; step >>= 1) {
      const size_t count = tree_[slot + step];
      const size_t take = size_t{0} - static_cast<size_t>(count < rank);
      slot += step & take;
      rank -= count & take;
    }
    return slot + 1;
  }

 private:
  static size_t lowest_bit(size_t slot) { return slot & (~slot + 1); }

  std::vector<size_t>& tree_;
};

// Kept across calls: every directory is sorted once per page, and after the
// largest list has been seen no sort allocates again.
struct scratch {
  std::vector<ranked> ranks;
  std::vector<ranked> spare;
  std::vector<named> names;
  std::vector<directory_node*> original;
  // Positions grouped by key, the group that goes first first, each group in
  // list order; group_start holds each group's first index and the end.
  std::vector<size_t> order;
  std::vector<size_t> group_start;
  std::vector<size_t> group_of;
  // For each position, how many entries before it belong to an earlier group.
  std::vector<size_t> earlier_before;
  std::vector<size_t> tree;
  std::vector<size_t> insert_at;
  std::vector<size_t> placed;
};

scratch& buffers() {
  thread_local scratch instance;
  return instance;
}

// One stable pass of the radix sort over a byte of one word.
void radix_pass(scratch& s, uint64_t ranked::*word, int shift) {
  size_t starts[256] = {};
  for (const ranked& item : s.ranks) ++starts[(item.*word >> shift) & 0xff];
  size_t next = 0;
  for (size_t& start : starts) next += std::exchange(start, next);
  for (const ranked& item : s.ranks) s.spare[starts[(item.*word >> shift) & 0xff]++] = item;
  s.ranks.swap(s.spare);
}

// Stable least-significant-byte radix sort, one pass per byte in which the
// ranks differ, so that small counts, whose high word never varies, cost
// few passes.
void radix_sort(scratch& s) {
  s.spare.resize(s.ranks.size());
  for (uint64_t ranked::*word : {&ranked::low, &ranked::high}) {
    uint64_t any = 0;
    uint64_t all = ~uint64_t{0};
    for (const ranked& item : s.ranks) any |= item.*word, all &= item.*word;
    const uint64_t varying = any ^ all;
    for (int shift = 0; shift < 64; shift += 8) {
      if (((varying >> shift) & 0xff) != 0) radix_pass(s, word, shift);
    }
  }
}

// Lays one group of equal keys into slots, in the order the exchange sort
// leaves it. That order is a queue that a scan of the original list builds:
// a member joins at the back, and each entry of an earlier group met while
// the queue is not empty moves its front to the back. The queue is kept as a
// cycle with a moving front, so every join is an insertion at a known index
// of a growing list; the insertions are replayed backwards, each member
// taking the free slot its index names.
void place_group(directory_node** slots, size_t begin, size_t end, scratch& s) {
  const size_t members = end - begin;
  const size_t earlier_total = begin;
  s.insert_at.resize(members);
  size_t front = 0;
  for (size_t t = 0; t < members; ++t) {
    s.insert_at[t] = front;
    const size_t length = t + 1;
    const size_t here = s.earlier_before[s.order[begin + t]];
    const size_t next = t + 1 < members ? s.earlier_before[s.order[begin + t + 1]] : earlier_total;
    size_t rotations = next - here;
    if (rotations >= length) rotations %= length;
    front += 1 + rotations;
    if (front >= length) front -= length;
  }

  slot_counts free_slots(s.tree);
  free_slots.reset_full(members);
  s.placed.resize(members);
  for (size_t t = members; t-- > 0;) {
    const size_t slot = free_slots.find(s.insert_at[t] + 1);
    free_slots.decrement(slot);
    s.placed[slot - 1] = t;
  }

  size_t from = front;
  for (size_t c = 0; c < members; ++c) {
    slots[begin + c] = s.original[s.order[begin + s.placed[from]]];
    if (++from == members) from = 0;
  }
}

// Reorders the slots from s.order and s.group_start.
void place_groups(directory_node** slots, size_t n, scratch& s) {
  const size_t groups = s.group_start.size() - 1;
  // All keys equal, as in a column of zeros: the exchange sort swaps nothing.
  if (groups == 1) return;
  s.original.assign(slots, slots + n);
  if (groups == n) {
    for (size_t c = 0; c < n; ++c) slots[c] = s.original[s.order[c]];
    return;
  }

  s.group_of.resize(n);
  for (size_t g = 0; g < groups; ++g) {
    for (size_t c = s.group_start[g]; c < s.group_start[g + 1]; ++c) s.group_of[s.order[c]] = g;
  }
  slot_counts seen(s.tree);
  seen.reset_empty(groups);
  s.earlier_before.resize(n);
  for (size_t position = 0; position < n; ++position) {
    const size_t g = s.group_of[position];
    s.earlier_before[position] = seen.prefix(g);
    seen.increment(g + 1);
  }

  for (size_t g = 0; g < groups; ++g) {
    const size_t begin = s.group_start[g];
    const size_t end = s.group_start[g + 1];
    if (end - begin == 1) {
      slots[begin] = s.original[s.order[begin]];
    } else {
      place_group(slots, begin, end, s);
    }
  }
}

void sort_counted(directory_node** slots, size_t n, const figure& by, scratch& s) {
  if (n <= kExchangeLimit) {
    struct keyed {
      byte_total key;
      directory_node* node;
    } items[kExchangeLimit];
    for (size_t c = 0; c < n; ++c) items[c] = {total_of(by, *slots[c]), slots[c]};
    exchange_sort(items, n, [](const keyed& a, const keyed& b) { return a.key < b.key; });
    for (size_t c = 0; c < n; ++c) slots[c] = items[c].node;
    return;
  }

  // Flipping every bit maps the largest key to the smallest rank.
  s.ranks.resize(n);
  for (size_t position = 0; position < n; ++position) {
    const byte_total key = total_of(by, *slots[position]);
    s.ranks[position] = {~key.low(), ~key.high(), position};
  }
  if (n < kRadixMinimum) {
    std::sort(s.ranks.begin(), s.ranks.end());
  } else {
    radix_sort(s);
  }
  s.order.resize(n);
  s.group_start.clear();
  for (size_t c = 0; c < n; ++c) {
    s.order[c] = s.ranks[c].position;
    if (c == 0 || !s.ranks[c].same_rank(s.ranks[c - 1])) s.group_start.push_back(c);
  }
  s.group_start.push_back(n);
  place_groups(slots, n, s);
}

// Equal names cannot occur within one directory, but they are grouped like
// equal keys anyway, so the result never depends on that.
void sort_named(directory_node** slots, size_t n, scratch& s) {
  if (n <= kExchangeLimit) {
    exchange_sort(slots, n,
                  [](const directory_node* a, const directory_node* b) { return std::strcmp(a->name, b->name) > 0; });
    return;
  }

  s.names.resize(n);
  for (size_t position = 0; position < n; ++position) s.names[position] = {slots[position]->name, position};
  std::sort(s.names.begin(), s.names.end(), [](const named& a, const named& b) {
    const int relation = std::strcmp(a.name, b.name);
    return relation != 0 ? relation < 0 : a.position < b.position;
  });
  s.order.resize(n);
  s.group_start.clear();
  for (size_t c = 0; c < n; ++c) {
    s.order[c] = s.names[c].position;
    if (c == 0 || std::strcmp(s.names[c].name, s.names[c - 1].name) != 0) s.group_start.push_back(c);
  }
  s.group_start.push_back(n);
  place_groups(slots, n, s);
}

}  // namespace

void my_sort(directory_node* node, const figure* by, diagnostics& diag) {
  const int64_t n = node->currentsubdirs();
  if (diag.shows(verbosity::comparisons)) {
    traced_exchange_sort(node->subdirpointer, static_cast<size_t>(n), by, diag);
    return;
  }
  if (n < 2) return;
  scratch& s = buffers();
  if (by == nullptr) {
    sort_named(node->subdirpointer, static_cast<size_t>(n), s);
  } else {
    sort_counted(node->subdirpointer, static_cast<size_t>(n), *by, s);
  }
}

}  // namespace quern
