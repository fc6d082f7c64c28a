#include "support/cases.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "support/files.h"
#include "support/scratch_tree.h"

namespace quern_test {

namespace {

namespace fs = std::filesystem;

const std::string kCases = QUERN_CASES;
const std::set<std::string> kNotInputs = {"arguments", "tree", "standard-input", "expected", "expected-windows"};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void make_tree(const std::string& recipe, const std::string& directory) {
  std::vector<std::pair<std::string, std::string>> modes;
  for (const std::string& line : lines_of(read_file(recipe))) {
    const char kind = line[0];
    const std::string rest = line.substr(2);
    const size_t blank = rest.find(' ');
    const std::string first = rest.substr(0, blank);
    const std::string path =
        directory + "/" + (kind == 'd' || kind == 'p' || kind == 's' ? rest : rest.substr(blank + 1));
    switch (kind) {
      case 'd': make_directory(path); break;
      case 'f': make_file(path, std::stoll(first)); break;
      case 'l': make_symlink(first, path); break;
      case 'p': make_node(path, S_IFIFO); break;
      case 's': make_node(path, S_IFSOCK); break;
      case 'h': fs::create_hard_link(directory + "/" + first, path); break;
      case 'o': check(::lchown(path.c_str(), static_cast<uid_t>(std::stoul(first)), 0) == 0, "lchown " + path); break;
      case 'x': modes.emplace_back(first, path); break;
      default: check(false, "unknown entry in " + recipe + ": " + line);
    }
  }
  // Last, so that nothing made later needs what they forbid.
  for (const auto& [mode, path] : modes) fs::permissions(path, static_cast<fs::perms>(std::stoi(mode, nullptr, 8)));
}

// The regular files below the directory, by their paths below it.
std::set<std::string> files_below(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(directory, fs::directory_options::skip_permission_denied)) {
    if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), directory).string());
  }
  return names;
}

// What a run left: its exit status, what it said and every file it made,
// with the times that differ between runs masked.
std::map<std::string, std::string> left(const run_result& result, const std::string& directory,
                                        const std::set<std::string>& before) {
  std::map<std::string, std::string> files;
  files["exit-status"] = std::to_string(result.exit_status) + "\n";
  files["standard-output"] = result.standard_output;
  std::string said = result.standard_error;
  const std::string elapsed = "* process completed in ";
  if (const size_t at = said.rfind(elapsed); at != std::string::npos)
    said.replace(at + elapsed.size(), said.find(' ', at + elapsed.size()) - at - elapsed.size(), "N");
  files["standard-error"] = said;
  for (const std::string& name : files_below(directory)) {
    if (before.contains(name)) continue;
    std::string text = read_file(directory + "/" + name);
    if (text.starts_with("#quern-summary ")) {
      const size_t begun = text.find("\n#begun\t");
      if (begun != std::string::npos) text.replace(begun + 8, text.find('\n', begun + 1) - begun - 8, "TIME");
    }
    files[name] = text;
  }
  return files;
}

std::map<std::string, std::string> read_expected(const std::string& directory) {
  std::map<std::string, std::string> files;
  if (!fs::exists(directory)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(directory)) {
    if (entry.is_regular_file()) files[fs::relative(entry.path(), directory).string()] = read_file(entry.path());
  }
  return files;
}

void write_expected(const std::string& directory, const std::map<std::string, std::string>& files) {
  fs::remove_all(directory);
  for (const auto& [name, text] : files) {
    fs::create_directories(fs::path(directory + "/" + name).parent_path());
    std::ofstream(directory + "/" + name, std::ios::binary) << text;
  }
}

// The first file that differs, and where.
std::string difference(const std::map<std::string, std::string>& expected,
                       const std::map<std::string, std::string>& actual) {
  std::set<std::string> names;
  for (const auto& files : {expected, actual})
    for (const auto& [name, text] : files) names.insert(name);
  for (const std::string& name : names) {
    if (!expected.contains(name)) return name + " was not expected";
    if (!actual.contains(name)) return name + " is missing";
    const std::string& want = expected.at(name);
    const std::string& got = actual.at(name);
    if (want == got) continue;
    const size_t at =
        static_cast<size_t>(std::mismatch(want.begin(), want.end(), got.begin(), got.end()).first - want.begin());
    const size_t from = at > 60 ? at - 60 : 0;
    return name + " differs at byte " + std::to_string(at) + ":\n expected ..." + want.substr(from, 120) +
           "\n actual   ..." + got.substr(from, 120);
  }
  return "";
}

}  // namespace

std::vector<std::string> case_names(const std::string& expected) {
  std::vector<std::string> names;
  for (const std::string& name : list_directory(kCases)) {
    if (fs::exists(kCases + "/" + name + "/arguments") &&
        (expected == "expected" || fs::exists(kCases + "/" + name + "/" + expected)))
      names.push_back(name);
  }
  return names;
}

bool case_needs_root(const std::string& name) {
  const std::string tree = kCases + "/" + name + "/tree";
  return fs::exists(tree) && ("\n" + read_file(tree)).find("\no ") != std::string::npos;
}

std::string check_case(const std::string& name, const std::string& expected, const case_launcher& launch,
                       const std::function<std::string(const std::string& directory)>& also) {
  const std::string source = kCases + "/" + name;
  const std::vector<std::string> arguments = lines_of(read_file(source + "/arguments"));
  const bool updating = std::getenv("QUERN_UPDATE_CASES") != nullptr;
  std::map<std::string, std::string> want = read_expected(source + "/" + expected);
  for (const bool one_thread : {false, true}) {
    temporary_directory scratch;
    for (const std::string& input : list_directory(source)) {
      if (!kNotInputs.contains(input)) fs::copy(source + "/" + input, scratch / input, fs::copy_options::recursive);
    }
    if (fs::exists(source + "/tree")) make_tree(source + "/tree", scratch.path());
    const std::set<std::string> inputs = files_below(scratch.path());
    std::vector<std::string> run_arguments = arguments;
    if (one_thread) run_arguments.insert(run_arguments.begin(), {"-j", "1"});
    const std::string input = fs::exists(source + "/standard-input") ? source + "/standard-input" : "";
    const std::map<std::string, std::string> got =
        left(launch(run_arguments, scratch.path(), input), scratch.path(), inputs);
    if (also) {
      if (std::string fault = also(scratch.path()); !fault.empty()) return fault;
    }
    if (updating && !one_thread) {
      write_expected(source + "/" + expected, got);
      want = got;
    }
    if (std::string differs = difference(want, got); !differs.empty())
      return (one_thread ? "with -j 1: " : "") + differs;
  }
  return "";
}

}  // namespace quern_test
