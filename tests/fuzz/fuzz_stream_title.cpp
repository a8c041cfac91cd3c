// ICY metadata blocks as a server may send them: any bytes at all.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "metadata/stream_title.h"
#include "metadata/tag_text.h"

namespace {

constexpr std::string_view kField = "StreamTitle=";
constexpr std::string_view kNameChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";

// Whether a "';" at `at` closes the title: padding NULs or the next field's
// name and "=" after it, blanks and tabs allowed in front of either.
bool ClosesAt(std::string_view block, std::size_t at) {
  if (block.substr(at, 2) != "';") return false;
  std::string_view rest = block.substr(at + 2);
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  if (rest.find_first_not_of('\0') == std::string_view::npos) return true;
  const std::size_t name = rest.find_first_not_of(kNameChars);
  return name != 0 && name != std::string_view::npos && rest[name] == '=';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  const std::optional<std::string> title = ornivox::StreamTitleOf(block);
  const std::size_t field = block.find(kField);
  if (title.has_value() != (field != std::string_view::npos)) __builtin_trap();
  if (!title) return 0;
  if (title->size() > size) __builtin_trap();

  // The title is what lies between the opening character and the first
  // "';" that closes it; without one it is empty.
  const std::size_t start = field + kField.size() + 1;
  const bool closed = start <= size && ClosesAt(block, start + title->size());
  if (!title->empty()) {
    if (block.substr(start, title->size()) != *title || !closed) __builtin_trap();
  }
  const std::size_t end = closed ? start + title->size() : size;
  for (std::size_t at = start; at < end; ++at) {
    if (ClosesAt(block, at)) __builtin_trap();
  }

  // Shown in the code page: one byte per character when it was UTF-8,
  // untouched otherwise.
  const std::string shown = ornivox::TagTextForDisplay(*title);
  bool ascii = true;
  std::size_t characters = 0;
  for (char c : *title) {
    const auto b = static_cast<unsigned char>(c);
    ascii = ascii && b < 0x80;
    if ((b & 0xC0) != 0x80) ++characters;
  }
  if (ascii || !ornivox::IsValidUtf8(*title)) {
    if (shown != *title) __builtin_trap();
  } else if (shown.size() != characters) {
    __builtin_trap();
  }
  return 0;
}
