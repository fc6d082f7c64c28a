#include "support/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quern_test {

void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

temporary_file::temporary_file() : file_(std::tmpfile()) { check(file_ != nullptr, "tmpfile"); }

temporary_file::~temporary_file() { std::fclose(file_); }

int temporary_file::descriptor() const { return ::fileno(file_); }

std::string temporary_file::text() const {
  std::rewind(file_);
  std::string text;
  char block[4096];
  for (size_t got; (got = std::fread(block, 1, sizeof block, file_)) > 0;) text.append(block, got);
  return text;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  check(in.good(), "open " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool exists(const std::string& path) { return std::filesystem::exists(std::filesystem::symlink_status(path)); }

std::vector<std::string> list_directory(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace quern_test
