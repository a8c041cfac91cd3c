#include "text/cp1254.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace ornivox::text {
namespace {

// One conversion, one character at a time when iconv stops, so that an
// unconvertible character costs one replacement and not the rest of the text.
std::string convert(const char* to, const char* from, std::string_view in, std::string_view replacement) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  out.reserve(in.size() * 2);
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buf[256];
  while (srcLeft > 0) {
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip one input byte, a whole UTF-8 sequence or one
    // UTF-16 code unit.
    size_t skip = 1;
    if (std::string_view(from) == "UTF-16LE") {
      skip = std::min<size_t>(2, srcLeft);
    } else if (std::string_view(from) == "UTF-8") {
      auto lead = static_cast<unsigned char>(*src);
      size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      skip = 1;
      while (skip < len && skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) ++skip;
    }
    src += skip;
    srcLeft -= skip;
    out.append(replacement);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string cp1254ToUtf8(std::string_view cp1254) { return convert("UTF-8", "CP1254", cp1254, "\xEF\xBF\xBD"); }

std::string utf8ToCp1254(std::string_view utf8) { return convert("CP1254", "UTF-8", utf8, "?"); }

std::string utf16LeToUtf8(std::string_view utf16le) { return convert("UTF-8", "UTF-16LE", utf16le, "\xEF\xBF\xBD"); }

}  // namespace ornivox::text
