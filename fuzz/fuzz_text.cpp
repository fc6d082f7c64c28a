// Number grouping and HTML escaping on any value and any bytes.
#include <string>

#include "base/text.h"
#include "fuzz_input.h"

namespace {

// Digits with a dot before every complete group of three, counted from the
// right; a sign stays in front of the first group.
std::string grouped(std::string_view number) {
  std::string out;
  if (number.starts_with('-')) {
    out.push_back('-');
    number.remove_prefix(1);
  }
  for (size_t i = 0; i < number.size(); ++i) {
    if (i > 0 && (number.size() - i) % 3 == 0) out.push_back('.');
    out.push_back(number[i]);
  }
  return out;
}

std::string unescaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out.push_back(text[i]);
      continue;
    }
    bool known = false;
    for (auto [entity, character] : {std::pair{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}}) {
      if (text.substr(i).starts_with(entity)) {
        out.push_back(character);
        i += std::string_view(entity).size() - 1;
        known = true;
        break;
      }
    }
    require(known, "every '&' of escaped text begins an entity");
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_input input(data, size);
  const int64_t value = static_cast<int64_t>(input.u64());
  std::string decimal;
  quern::append_decimal(decimal, value);
  require(decimal == std::to_string(value), "decimal text is that of %lld");
  require(quern::dotted(value) == grouped(decimal), "dotted groups the decimal text");

  const std::string_view text = input.bytes(size);
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') digits.push_back(c);
  }
  std::string dotted_digits = digits;
  quern::generate_dotted(dotted_digits);
  require(dotted_digits == grouped(digits), "any run of digits is grouped from the right");

  std::string escaped = "kept";
  quern::append_html_escaped(escaped, text);
  require(escaped.starts_with("kept"), "escaping appends");
  const std::string_view added = std::string_view(escaped).substr(4);
  require(added.find_first_of("<>\"") == std::string_view::npos, "no markup character survives escaping");
  require(unescaped(added) == text, "escaping loses and adds nothing");
  return 0;
}
