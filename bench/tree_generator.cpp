// Generates a seeded synthetic directory tree for the benchmarks.
//
// Every object is created relative to its parent's descriptor, so trees
// deeper than PATH_MAX allows are possible, and file sizes are set with
// ftruncate so that even terabytes of apparent size occupy no blocks; a
// tenth of the files get a block or a few allocated, and every file a
// modification time spread over fifteen years, so that reports by space on
// the disk and by age have something to count.

#include "tool_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

using bench::fail;
using bench::fail_errno;
using bench::random_source;

struct planned_directory {
  std::vector<std::uint32_t> children;
  std::uint32_t files = 0;
  std::uint32_t symlinks = 0;
  std::uint32_t fifos = 0;
  bool fixed_total = false;  // the files' sizes add up to total_bytes exactly
  std::uint64_t total_bytes = 0;
  std::uint32_t owner = 0;  // of the directory and its entries; 0 leaves the creator's
};

struct tree_plan {
  std::vector<planned_directory> nodes{planned_directory{}};  // nodes[0] is the root

  std::uint32_t add_child(std::uint32_t parent) {
    nodes.push_back(planned_directory{});
    const auto index = static_cast<std::uint32_t>(nodes.size() - 1);
    nodes[parent].children.push_back(index);
    return index;
  }
};

std::uint64_t scaled(double count, double scale) {
  return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(count * scale)));
}

// A random recursive tree with a preferential share, so that a few
// directories get hundreds of subdirectories, and files spread by
// heavy-tailed weights, so that a few directories hold thousands of files.
tree_plan plan_bushy(random_source& random, std::uint64_t directory_count, std::uint64_t file_count,
                     unsigned max_depth) {
  tree_plan plan;
  std::vector<unsigned> depth{0};
  std::vector<std::uint32_t> eligible{0};
  std::vector<std::uint32_t> edge_parents;
  for (std::uint64_t i = 1; i < directory_count; ++i) {
    std::uint32_t parent = 0;
    if (!edge_parents.empty() && random.chance(0.5)) {
      parent = edge_parents[random.below(edge_parents.size())];
    } else {
      parent = eligible[random.below(eligible.size())];
    }
    const std::uint32_t child = plan.add_child(parent);
    depth.push_back(depth[parent] + 1);
    edge_parents.push_back(parent);
    if (depth[child] < max_depth) {
      eligible.push_back(child);
    }
  }

  std::vector<double> cumulative;
  cumulative.reserve(plan.nodes.size());
  double sum = 0.0;
  for (std::size_t i = 0; i < plan.nodes.size(); ++i) {
    sum += std::min(1.0e4, std::pow(random.open_unit(), -1.0 / 1.1));
    cumulative.push_back(sum);
  }
  auto weighted_directory = [&] {
    const double pick = random.unit() * sum;
    const auto it = std::upper_bound(cumulative.begin(), cumulative.end(), pick);
    return std::min<std::size_t>(static_cast<std::size_t>(it - cumulative.begin()), plan.nodes.size() - 1);
  };
  for (std::uint64_t i = 0; i < file_count; ++i) {
    ++plan.nodes[weighted_directory()].files;
  }
  for (std::uint64_t i = 0; i < file_count / 100; ++i) {
    ++plan.nodes[random.below(plan.nodes.size())].symlinks;
  }
  for (std::uint64_t i = 0; i < std::max<std::uint64_t>(1, file_count / 1000); ++i) {
    ++plan.nodes[random.below(plan.nodes.size())].fifos;
  }
  return plan;
}

tree_plan plan_wide(random_source& random, double scale) {
  tree_plan plan;
  const std::uint64_t subdirs = scaled(20000, scale);
  for (std::uint64_t i = 0; i < subdirs; ++i) {
    plan.nodes[plan.add_child(0)].files = static_cast<std::uint32_t>(random.between(1, 3));
  }
  return plan;
}

// Byte totals drawn from ten values; file and fifo counts vary over a few
// values, so those keys tie often as well without all being equal (links
// would add bytes of their own, so there are none). No
// subdirectory has subdirectories of its own: like `wide`, the run writes
// the pages of the root alone, so the orderings' cost is what shows.
tree_plan plan_ties(random_source& random, double scale) {
  static constexpr std::array<std::uint64_t, 10> totals{0,       1,         4096,       65536,       1000000,
                                                        7340032, 123456789, 1073741824, 10000000000, 274877906944};
  tree_plan plan;
  const std::uint64_t subdirs = scaled(5000, scale);
  for (std::uint64_t i = 0; i < subdirs; ++i) {
    const std::uint32_t child = plan.add_child(0);
    planned_directory& node = plan.nodes[child];
    node.files = static_cast<std::uint32_t>(random.between(1, 4));
    node.fixed_total = true;
    node.total_bytes = totals[random.below(totals.size())];
    node.fifos = static_cast<std::uint32_t>(random.below(3));
  }
  return plan;
}

// Every top directory a small bushy tree of its own owner, as on a file
// server of home directories: the root's pages have a thousand owners, each
// page below one. Owners are user numbers from this one on, whether or not
// the user database knows them.
constexpr std::uint32_t kFirstOwner = 100000;

tree_plan plan_owners(random_source& random, double scale) {
  tree_plan plan;
  const std::uint64_t owners = scaled(1000, scale);
  for (std::uint64_t i = 0; i < owners; ++i) {
    const tree_plan part = plan_bushy(random, 20, 200, 6);
    const auto base = static_cast<std::uint32_t>(plan.nodes.size());
    for (planned_directory node : part.nodes) {
      for (std::uint32_t& child : node.children) child += base;
      node.owner = kFirstOwner + static_cast<std::uint32_t>(i);
      plan.nodes.push_back(std::move(node));
    }
    plan.nodes[0].children.push_back(base);
  }
  return plan;
}

tree_plan plan_deep(random_source& random, double scale) {
  tree_plan plan;
  const std::uint64_t levels = scaled(2000, scale);
  std::uint32_t current = 0;
  plan.nodes[0].files = static_cast<std::uint32_t>(random.between(1, 2));
  for (std::uint64_t i = 0; i < levels; ++i) {
    current = plan.add_child(current);
    plan.nodes[current].files = static_cast<std::uint32_t>(random.between(1, 2));
  }
  return plan;
}

// How far back files are dated.
constexpr std::uint64_t kTimeSpan = std::uint64_t{15} * 365 * 86400;

struct tree_totals {
  std::uint64_t directories = 0;
  std::uint64_t directories_with_subdirs = 0;
  std::uint64_t files = 0;
  std::uint64_t symlinks = 0;
  std::uint64_t fifos = 0;
  std::uint64_t file_bytes = 0;
  std::uint64_t allocated_bytes = 0;  // asked for; the file system rounds up
  std::uint64_t name_bytes = 0;
  std::uint64_t path_bytes = 0;
  std::uint64_t max_depth = 0;
};

class tree_builder {
 public:
  // The details come from a stream of their own, so that the tree's shape
  // and names stay those of the seed.
  tree_builder(const tree_plan& plan, random_source& random, random_source& details)
      : plan_(plan), random_(random), details_(details) {}

  // Takes ownership of fd and closes it; it is closed before the last
  // child is entered, so a chain holds only a couple of descriptors.
  void populate(int fd, std::uint32_t index, std::size_t path_length, unsigned depth) {
    const planned_directory& node = plan_.nodes[index];
    ++totals_.directories;
    totals_.path_bytes += path_length;
    totals_.max_depth = std::max<std::uint64_t>(totals_.max_depth, depth);
    if (!node.children.empty()) {
      ++totals_.directories_with_subdirs;
    }

    std::vector<std::string> child_names;
    {
      std::unordered_set<std::string> taken;
      std::vector<std::string> made;
      for (std::size_t i = 0; i < node.children.size(); ++i) {
        std::string name = unique_name(taken, false);
        if (mkdirat(fd, name.c_str(), 0755) != 0) {
          fail_errno("mkdirat at depth " + std::to_string(depth + 1), name);
        }
        give_to(plan_.nodes[node.children[i]].owner, fd, name);
        totals_.name_bytes += name.size();
        made.push_back(name);
        child_names.push_back(std::move(name));
      }
      const auto sizes = file_sizes(node);
      // Files mostly date from when their directory was worked on.
      const auto worked_on = static_cast<std::int64_t>(details_.below(kTimeSpan));
      for (std::uint64_t size : sizes) {
        std::string name = unique_name(taken, true);
        const int file = openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (file < 0) {
          fail_errno("openat at depth " + std::to_string(depth), name);
        }
        if (size != 0 && ftruncate(file, static_cast<off_t>(size)) != 0) {
          fail_errno("ftruncate at depth " + std::to_string(depth), name);
        }
        give_details(file, size, worked_on, name);
        close(file);
        give_to(node.owner, fd, name);
        ++totals_.files;
        totals_.file_bytes += size;
        made.push_back(std::move(name));
      }
      for (std::uint32_t i = 0; i < node.fifos; ++i) {
        std::string name = unique_name(taken, false);
        if (mkfifoat(fd, name.c_str(), 0644) != 0) {
          fail_errno("mkfifoat at depth " + std::to_string(depth), name);
        }
        give_to(node.owner, fd, name);
        ++totals_.fifos;
        made.push_back(std::move(name));
      }
      for (std::uint32_t i = 0; i < node.symlinks; ++i) {
        const std::string target = link_target(made);
        const std::string name = unique_name(taken, true);
        if (symlinkat(target.c_str(), fd, name.c_str()) != 0) {
          fail_errno("symlinkat at depth " + std::to_string(depth), name);
        }
        give_to(node.owner, fd, name);
        ++totals_.symlinks;
      }
    }

    for (std::size_t i = 0; i < node.children.size(); ++i) {
      const int child = openat(fd, child_names[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) {
        fail_errno("openat at depth " + std::to_string(depth + 1), child_names[i]);
      }
      if (i + 1 == node.children.size()) {
        close(fd);
        fd = -1;
      }
      populate(child, node.children[i], path_length + 1 + child_names[i].size(), depth + 1);
    }
    if (fd >= 0) {
      close(fd);
    }
  }

  const tree_totals& totals() const { return totals_; }

 private:
  // Needs root: only it may give entries away.
  static void give_to(std::uint32_t owner, int fd, const std::string& name) {
    if (owner != 0 && fchownat(fd, name.c_str(), owner, owner, AT_SYMLINK_NOFOLLOW) != 0) {
      fail_errno("fchownat (the owners profile needs root)", name);
    }
  }

  // Allocates a block, or now and then sixteen, inside the file's length
  // for a tenth of the files, and dates it back from the start of 2026:
  // most files within a year before their directory was worked on, that
  // many years back, the others anywhere in fifteen years.
  void give_details(int file, std::uint64_t size, std::int64_t worked_on, const std::string& name) {
    constexpr std::int64_t kNewest = 1767225600;
    constexpr std::int64_t kYear = 365 * 86400;
    if (size > 0 && details_.chance(0.1)) {
      const std::uint64_t wanted = details_.chance(0.1) ? 65536 : 4096;
      const std::uint64_t length = std::min(size, wanted);
      if (fallocate(file, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(length)) != 0) fail_errno("fallocate", name);
      totals_.allocated_bytes += length;
    }
    const std::int64_t back = details_.chance(0.9) ? worked_on + static_cast<std::int64_t>(details_.below(kYear))
                                                   : static_cast<std::int64_t>(details_.below(kTimeSpan));
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(kNewest - back), 0}};
    if (futimens(file, times) != 0) fail_errno("futimens", name);
  }

  std::vector<std::uint64_t> file_sizes(const planned_directory& node) {
    std::vector<std::uint64_t> sizes;
    if (node.fixed_total) {
      std::vector<std::uint64_t> cuts{0, node.total_bytes};
      for (std::uint32_t i = 1; i < node.files; ++i) {
        cuts.push_back(random_.below(node.total_bytes + 1));
      }
      std::sort(cuts.begin(), cuts.end());
      for (std::size_t i = 1; i < cuts.size(); ++i) {
        sizes.push_back(cuts[i] - cuts[i - 1]);
      }
      return sizes;
    }
    for (std::uint32_t i = 0; i < node.files; ++i) {
      sizes.push_back(log_normal_size());
    }
    return sizes;
  }

  // Median 4 KiB with a long tail; a few empty files, nothing beyond 64 GiB.
  std::uint64_t log_normal_size() {
    if (random_.chance(0.03)) {
      return 0;
    }
    const double size = std::exp(std::log(4096.0) + 2.0 * random_.normal());
    return static_cast<std::uint64_t>(std::min(size, 68719476736.0));
  }

  std::string unique_name(std::unordered_set<std::string>& taken, bool is_file) {
    static constexpr std::string_view plain = "abcdefghijklmnopqrstuvwxyz0123456789";
    static constexpr std::string_view odd = "ABCDEFGHIJKLMNOPQRSTUVWXYZ-_. +";
    static constexpr std::array<std::string_view, 10> extensions{".txt", ".jpg",    ".c", ".h", ".html",
                                                                 ".pdf", ".tar.gz", ".o", "",   ".dat"};
    for (;;) {
      std::string name;
      if (random_.chance(0.02)) {
        name += '.';
      }
      const auto length = is_file ? random_.between(2, 20) : random_.between(2, 15);
      for (std::uint64_t i = 0; i < length; ++i) {
        const bool first = i == 0;
        if (!first && random_.chance(0.05)) {
          name += odd[random_.below(odd.size())];
        } else {
          name += plain[random_.below(plain.size())];
        }
      }
      if (random_.chance(0.01)) {
        name += "\xc3\xbc";  // a non-ASCII name now and then, UTF-8 u-umlaut
      }
      if (is_file) {
        name += extensions[random_.below(extensions.size())];
      }
      if (taken.insert(name).second) {
        return name;
      }
    }
  }

  // Relative targets only: loops, parents, siblings (directories among
  // them) and dangling paths, none of which a scanner may follow.
  std::string link_target(const std::vector<std::string>& siblings) {
    const double pick = random_.unit();
    if (pick < 0.05) {
      return ".";
    }
    if (pick < 0.10) {
      return "..";
    }
    if (pick < 0.50 && !siblings.empty()) {
      return siblings[random_.below(siblings.size())];
    }
    if (pick < 0.75) {
      return "../gone-" + std::to_string(random_.below(1000000));
    }
    return "missing/nothing-" + std::to_string(random_.below(1000000));
  }

  const tree_plan& plan_;
  random_source& random_;
  random_source& details_;
  tree_totals totals_;
};

void write_summary(const std::string& path, const std::string& profile, std::uint64_t seed, double scale,
                   const tree_totals& totals) {
  const std::string temporary = path + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "w");
  if (out == nullptr) {
    fail_errno("cannot create", temporary);
  }
  std::fprintf(out,
               "profile %s\nseed %llu\nscale %g\ndirectories %llu\ndirectories_with_subdirs %llu\n"
               "files %llu\nsymlinks %llu\nfifos %llu\nfile_bytes %llu\nname_bytes %llu\n"
               "path_bytes %llu\nmax_depth %llu\nallocated_bytes %llu\ndated by_directory\n",
               profile.c_str(), static_cast<unsigned long long>(seed), scale,
               static_cast<unsigned long long>(totals.directories),
               static_cast<unsigned long long>(totals.directories_with_subdirs),
               static_cast<unsigned long long>(totals.files), static_cast<unsigned long long>(totals.symlinks),
               static_cast<unsigned long long>(totals.fifos), static_cast<unsigned long long>(totals.file_bytes),
               static_cast<unsigned long long>(totals.name_bytes), static_cast<unsigned long long>(totals.path_bytes),
               static_cast<unsigned long long>(totals.max_depth),
               static_cast<unsigned long long>(totals.allocated_bytes));
  if (std::fclose(out) != 0) {
    fail_errno("cannot write", temporary);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    fail_errno("cannot rename to", path);
  }
}

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: %s --profile typical|wide|ties|deep|huge|owners --seed N --out DIR [--scale F]\n"
               "DIR must not exist; a summary is written to DIR.summary\n",
               program_invocation_short_name);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  std::string profile;
  std::string out;
  std::uint64_t seed = 0;
  bool have_seed = false;
  double scale = 1.0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) {
      usage();
    }
    if (arg == "--profile") {
      profile = argv[++i];
    } else if (arg == "--seed") {
      seed = bench::parse_u64(argv[++i], arg);
      have_seed = true;
    } else if (arg == "--out") {
      out = argv[++i];
    } else if (arg == "--scale") {
      scale = bench::parse_positive_double(argv[++i], arg);
    } else {
      usage();
    }
  }
  if (profile.empty() || out.empty() || !have_seed) {
    usage();
  }
  while (out.size() > 1 && out.back() == '/') {
    out.pop_back();
  }

  random_source random(seed);
  tree_plan plan;
  if (profile == "typical") {
    plan = plan_bushy(random, scaled(20000, scale), scaled(200000, scale), 8);
  } else if (profile == "huge") {
    plan = plan_bushy(random, scaled(200000, scale), scaled(2000000, scale), 10);
  } else if (profile == "wide") {
    plan = plan_wide(random, scale);
  } else if (profile == "ties") {
    plan = plan_ties(random, scale);
  } else if (profile == "deep") {
    plan = plan_deep(random, scale);
  } else if (profile == "owners") {
    plan = plan_owners(random, scale);
  } else {
    fail("unknown profile '" + profile + "'");
  }

  const auto started = std::chrono::steady_clock::now();
  if (mkdir(out.c_str(), 0755) != 0) {
    fail_errno("cannot create", out);
  }
  char absolute[PATH_MAX];
  if (realpath(out.c_str(), absolute) == nullptr) {
    fail_errno("cannot resolve", out);
  }
  const int root = open(out.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (root < 0) {
    fail_errno("cannot open", out);
  }
  random_source details(seed ^ 0x5eed5eed5eed5eedULL);
  tree_builder builder(plan, random, details);
  builder.populate(root, 0, std::string_view(absolute).size(), 0);
  const tree_totals& totals = builder.totals();
  write_summary(out + ".summary", profile, seed, scale, totals);

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(stderr,
               "%s: directories %llu, files %llu, links %llu, fifos %llu, total bytes %llu, "
               "max depth %llu (%.1f s)\n",
               out.c_str(), static_cast<unsigned long long>(totals.directories),
               static_cast<unsigned long long>(totals.files), static_cast<unsigned long long>(totals.symlinks),
               static_cast<unsigned long long>(totals.fifos), static_cast<unsigned long long>(totals.file_bytes),
               static_cast<unsigned long long>(totals.max_depth), seconds);
  return 0;
}
