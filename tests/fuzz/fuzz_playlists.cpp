// Playlist files as the user may hand them over: any bytes at all.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "playlist/resolvers.h"
#include "text/replace_all.h"

namespace {

std::string TempFile() {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/fuzz-playlist-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) std::abort();
  ::close(fd);
  return pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One file for the whole run, removed at exit: a file per input would
  // fill the temp directory when a run is cut short.
  static const std::string file = TempFile();
  static const bool removed_at_exit = std::atexit([] { std::remove(file.c_str()); }) == 0;
  (void)removed_at_exit;
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
  std::fclose(out);

  using Resolver = void (*)(const std::string&, std::string&, std::string&);
  for (Resolver resolve : {ornivox::ResolvePls, ornivox::ResolveM3u, ornivox::ResolveAsx}) {
    std::string title;
    std::string url;
    resolve(file, title, url);
    // Everything given back was in the file, apart from the blanks around an
    // ASX title and the spaces taken out of an ASX address.
    if (title.size() > size + 2 || url.size() > size) __builtin_trap();
  }

  // The input's first bytes as the pair, the rest as the text.
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::size_t a = size > 0 ? data[0] % 4 : 0;
  const std::size_t b = size > 1 ? data[1] % 4 : 0;
  if (size >= 2 + a + b) ornivox::text::ReplaceAll(all.substr(2 + a + b), all.substr(2, a), all.substr(2 + a, b));
  return 0;
}
