#include "metadata/tag_text.h"

#include <algorithm>

#include "text/cp1254.h"

namespace ornivox {

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  auto continuation = [&](std::size_t k) { return k < n && (byte(k) & 0xC0) == 0x80; };
  while (i < n) {
    const unsigned char c = byte(i);
    if (c < 0x80) {
      ++i;
    } else if (c >= 0xC2 && c <= 0xDF) {
      if (!continuation(i + 1)) return false;
      i += 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      if (!continuation(i + 1) || !continuation(i + 2)) return false;
      const unsigned char c1 = byte(i + 1);
      if (c == 0xE0 && c1 < 0xA0) return false;  // overlong
      if (c == 0xED && c1 >= 0xA0) return false;  // surrogate
      i += 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      if (!continuation(i + 1) || !continuation(i + 2) || !continuation(i + 3)) return false;
      const unsigned char c1 = byte(i + 1);
      if (c == 0xF0 && c1 < 0x90) return false;  // overlong
      if (c == 0xF4 && c1 >= 0x90) return false;  // past U+10FFFF
      i += 4;
    } else {
      return false;
    }
  }
  return true;
}

std::string TagTextForDisplay(std::string_view bytes) {
  const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || !IsValidUtf8(bytes)) return std::string(bytes);
  return text::utf8ToCp1254(bytes);
}

}  // namespace ornivox
