#include "metadata/stream_title.h"

namespace ornivox {
namespace {

constexpr std::string_view kField = "StreamTitle=";

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Whether the text after a "';" closes the field: nothing but padding, or
// a field name followed by "=". Servers that write "; " between fields put
// blanks before the name.
bool EndsField(std::string_view rest) {
  const std::size_t name = rest.find_first_not_of(" \t");
  rest.remove_prefix(name == std::string_view::npos ? rest.size() : name);
  if (rest.find_first_not_of(std::string_view("\0", 1)) == std::string_view::npos) return true;
  std::size_t i = 0;
  while (i < rest.size() && IsNameChar(rest[i])) ++i;
  return i > 0 && i < rest.size() && rest[i] == '=';
}

}  // namespace

std::optional<std::string> StreamTitleOf(std::string_view block) {
  const std::size_t field = block.find(kField);
  if (field == std::string_view::npos) return std::nullopt;
  // The character after "StreamTitle=" is the opening quote, whatever it is.
  const std::size_t start = field + kField.size() + 1;
  if (start > block.size()) return std::string();
  for (std::size_t end = block.find("';", start); end != std::string_view::npos; end = block.find("';", end + 1)) {
    if (EndsField(block.substr(end + 2))) return std::string(block.substr(start, end - start));
  }
  return std::string();
}

}  // namespace ornivox
