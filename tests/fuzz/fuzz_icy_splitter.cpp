// An ICY body cut into chunks: the first byte chooses the block spacing, the
// second the chunk size. Audio bytes out plus block bytes must never exceed
// what went in, and the split must not depend on the chunking.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/icy_splitter.h"

namespace {
struct Out {
  std::string audio;
  std::vector<std::string> blocks;
};

Out split(std::size_t metaint, const std::uint8_t* data, std::size_t size, std::size_t chunk) {
  Out out;
  ornivox::audio::IcySplitter s(
      metaint, [&](const std::uint8_t* d, std::size_t n) { out.audio.append(reinterpret_cast<const char*>(d), n); },
      [&](std::string text, std::uint64_t) { out.blocks.push_back(std::move(text)); });
  for (std::size_t i = 0; i < size; i += chunk) s.feed(data + i, std::min(chunk, size - i));
  if (s.audioBytes() != out.audio.size()) __builtin_trap();
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t metaint = data[0] % 64;
  const std::size_t chunk = 1 + data[1] % 17;
  const Out whole = split(metaint, data + 2, size - 2, size);
  const Out pieces = split(metaint, data + 2, size - 2, chunk);
  if (whole.audio != pieces.audio || whole.blocks != pieces.blocks) __builtin_trap();
  std::size_t out = whole.audio.size();
  for (const auto& b : whole.blocks) out += b.size();
  if (out > size - 2) __builtin_trap();
  return 0;
}
