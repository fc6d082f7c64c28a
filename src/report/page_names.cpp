#include "report/page_names.h"

namespace quern {

namespace {

constexpr std::string_view kSuffix = ".html";
constexpr std::string_view kPictureSuffix = ".svg";

}  // namespace

size_t append_page_name(std::string& out, const directory_node* node, std::string_view key) {
  return append_page_name(out, node->id(), key);
}

size_t append_page_name(std::string& out, uint64_t node_number, std::string_view key) {
  append_node_id(out, node_number);
  out += '_';
  const size_t key_start = out.size();
  out += key;
  out += kSuffix;
  return key_start;
}

void append_picture_name(std::string& out, const directory_node* node) {
  append_node_id(out, node);
  out += kPictureSuffix;
}

bool is_page_name(std::string_view name) {
  const size_t id = node_id_length(name);
  if (id == 0) return false;
  name.remove_prefix(id);
  if (name == kPictureSuffix) return true;
  return name.size() == 1 + kPageKeyLength + kSuffix.size() && name[0] == '_' &&
         is_page_key(name.substr(1, kPageKeyLength)) && name.ends_with(kSuffix);
}

}  // namespace quern
