// Writes a seeded synthetic listing of a large file server, as
// `find ROOT -printf '%y %s %p\0'` would print it, without any tree on disk:
// a few thousand top directories of very different sizes, subtrees up to 20
// levels deep, short and long names, names in several scripts, and files
// spread with a heavy tail over the directories.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tool_support.h"

namespace {

using bench::fail;
using bench::fail_errno;
using bench::random_source;

constexpr unsigned kMaxDepth = 20;

const char* const kShortNames[] = {"src", "lib", "tmp", "data", "doc", "bin", "old", "neu", "x", "a1", "2023", "2024"};
const char* const kWords[] = {"Projekt", "Bericht",   "analysis",     "results",    "Messdaten",
                              "backup",  "Abschluss", "experiment",   "simulation", "Auswertung",
                              "images",  "Rohdaten",  "configuration"};
const char* const kScripts[] = {
    "\xc3\x9c"
    "bersicht",                                          // Übersicht
    "r\xc3\xa9sum\xc3\xa9",                              // résumé
    "\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf",              // データ
    "\xce\x95\xce\xbb\xce\xbb\xce\xac\xce\xb4\xce\xb1",  // Ελλάδα
    "Stra\xc3\x9f"
    "e",                                                  // Straße
    "\xd0\x94\xd0\xb0\xd0\xbd\xd0\xbd\xd1\x8b\xd0\xb5"};  // Данные
const char* const kExtensions[] = {".dat", ".txt", ".c", ".h", ".log", ".pdf", ".jpg", ".tar.gz", "", ".csv"};

class listing_writer {
 public:
  listing_writer(const char* path, std::string root, random_source& random) : random_(random), path_(std::move(root)) {
    descriptor_ = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor_ < 0) fail_errno("cannot create", path);
    buffer_.reserve(kBufferBytes + 4096);
  }
  listing_writer(const listing_writer&) = delete;
  listing_writer& operator=(const listing_writer&) = delete;

  void finish() {
    flush();
    if (::close(descriptor_) != 0) fail_errno("cannot close", "listing");
  }

  // The root and below it `top` directories sharing `directories` in all and
  // about `files` files, links and other entries.
  void write_tree(std::uint64_t top, std::uint64_t directories, std::uint64_t files) {
    files_per_directory_ = static_cast<double>(files) / static_cast<double>(directories);
    record('d', 4096);
    std::vector<std::uint64_t> budgets = split(directories - 1, top);
    write_contents(0);
    for (std::uint64_t i = 0; i < budgets.size(); ++i) {
      write_directory(budgets[i], 1, i);
    }
  }

  std::uint64_t records() const { return records_; }
  std::uint64_t directories() const { return directories_; }
  std::uint64_t bytes() const { return bytes_; }
  std::uint64_t name_bytes() const { return name_bytes_; }

 private:
  static constexpr std::size_t kBufferBytes = std::size_t{4} << 20;

  // Splits `total` into at most `parts` shares of at least one, with a
  // heavy tail: a few get most.
  std::vector<std::uint64_t> split(std::uint64_t total, std::uint64_t parts) {
    parts = std::min(parts, total);
    std::vector<std::uint64_t> shares(parts, 1);
    if (parts == 0) return shares;
    std::vector<double> weights(parts);
    double sum = 0;
    for (double& weight : weights) sum += weight = random_.pareto(1.1);
    std::uint64_t given = parts;
    for (std::uint64_t i = 0; i < parts && given < total; ++i) {
      const auto extra =
          std::min(total - given, static_cast<std::uint64_t>(weights[i] / sum * static_cast<double>(total - parts)));
      shares[i] += extra;
      given += extra;
    }
    for (std::uint64_t i = 0; given < total; i = (i + 1) % parts, ++given) ++shares[i];
    return shares;
  }

  void write_directory(std::uint64_t budget, unsigned depth, std::uint64_t ordinal) {
    const std::size_t length = path_.size();
    path_ += '/';
    append_directory_name(ordinal);
    name_bytes_ += path_.size() - length - 1;
    record('d', 4096);
    ++directories_;
    write_contents(depth);
    if (budget > 1 && depth < kMaxDepth) {
      const std::uint64_t fan =
          std::min<std::uint64_t>(budget - 1, 1 + static_cast<std::uint64_t>(random_.pareto(1.3)));
      const std::vector<std::uint64_t> budgets = split(budget - 1, fan);
      for (std::uint64_t i = 0; i < budgets.size(); ++i) write_directory(budgets[i], depth + 1, i);
    }
    path_.resize(length);
  }

  // Files, links and other entries directly in the directory at path_.
  void write_contents(unsigned depth) {
    const double draw = random_.pareto(1.5) * files_per_directory_ / 3.0;
    const auto count = static_cast<std::uint64_t>(std::min(draw + 0.5, 200000.0));
    const std::size_t length = path_.size();
    for (std::uint64_t i = 0; i < count; ++i) {
      path_ += '/';
      append_file_name(i, depth);
      const std::uint64_t kind = random_.below(1000);
      if (kind < 985) {
        record('f', file_size());
      } else if (kind < 998) {
        record('l', 8 + random_.below(60));
      } else {
        record(kind == 998 ? 'p' : 's', 0);
      }
      path_.resize(length);
    }
  }

  std::uint64_t file_size() {
    const double size = std::exp(8.3 + 2.2 * random_.normal());
    return static_cast<std::uint64_t>(std::min(size, 1.0e12));
  }

  void append_directory_name(std::uint64_t ordinal) {
    const std::uint64_t style = random_.below(20);
    if (style < 8) {
      path_ += kShortNames[random_.below(std::size(kShortNames))];
    } else if (style < 15) {
      path_ += kWords[random_.below(std::size(kWords))];
      path_ += '_';
      path_ += kWords[random_.below(std::size(kWords))];
    } else if (style < 16) {
      for (int word = 0; word < 6; ++word) {
        path_ += kWords[random_.below(std::size(kWords))];
        path_ += word % 2 == 0 ? ' ' : '-';
      }
    } else {
      path_ += kScripts[random_.below(std::size(kScripts))];
    }
    // Names of one directory stay distinct.
    path_ += '.';
    path_ += std::to_string(ordinal);
  }

  void append_file_name(std::uint64_t ordinal, unsigned depth) {
    if (random_.below(10) == 0) {
      path_ += kScripts[random_.below(std::size(kScripts))];
    } else {
      path_ += depth % 2 == 0 ? "file" : "Datei";
    }
    path_ += '-';
    path_ += std::to_string(ordinal);
    path_ += kExtensions[random_.below(std::size(kExtensions))];
  }

  void record(char type, std::uint64_t size) {
    buffer_ += type;
    buffer_ += ' ';
    buffer_ += std::to_string(size);
    buffer_ += ' ';
    buffer_ += path_;
    buffer_ += '\0';
    ++records_;
    if (buffer_.size() >= kBufferBytes) flush();
  }

  void flush() {
    std::string_view rest = buffer_;
    while (!rest.empty()) {
      const ssize_t written = ::write(descriptor_, rest.data(), rest.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        fail_errno("cannot write", "listing");
      }
      rest.remove_prefix(static_cast<std::size_t>(written));
    }
    bytes_ += buffer_.size();
    buffer_.clear();
  }

  random_source& random_;
  std::string path_;
  std::string buffer_;
  int descriptor_ = -1;
  double files_per_directory_ = 10;
  std::uint64_t records_ = 0;
  std::uint64_t directories_ = 1;
  std::uint64_t bytes_ = 0;
  std::uint64_t name_bytes_ = 0;  // of the directories below the root
};

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: %s --out FILE [--root PATH] [--entries N] [--directories N] [--top N] [--seed N]\n"
               "defaults: --root /srv/export --entries 100000000 --directories 8000000 --top 3000 --seed 1\n",
               program_invocation_short_name);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  const char* out = nullptr;
  std::string root = "/srv/export";
  std::uint64_t entries = 100000000;
  std::uint64_t directories = 8000000;
  std::uint64_t top = 3000;
  std::uint64_t seed = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (i + 1 >= argc) usage();
    const char* value = argv[++i];
    if (option == "--out") {
      out = value;
    } else if (option == "--root") {
      root = value;
    } else if (option == "--entries") {
      entries = bench::parse_u64(value, option);
    } else if (option == "--directories") {
      directories = bench::parse_u64(value, option);
    } else if (option == "--top") {
      top = bench::parse_u64(value, option);
    } else if (option == "--seed") {
      seed = bench::parse_u64(value, option);
    } else {
      usage();
    }
  }
  if (out == nullptr || directories < 2 || entries <= directories || top == 0) usage();

  random_source random(seed);
  listing_writer writer(out, root, random);
  writer.write_tree(top, directories, entries - directories);
  writer.finish();
  std::printf("records %llu\ndirectories %llu\nbytes %llu\ndirectory_name_bytes %llu\n",
              static_cast<unsigned long long>(writer.records()), static_cast<unsigned long long>(writer.directories()),
              static_cast<unsigned long long>(writer.bytes()), static_cast<unsigned long long>(writer.name_bytes()));
  return 0;
}
