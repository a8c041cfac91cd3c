// Any bytes as an executable image to find the version block in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "version/version_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ornivox::version;
  const auto info = FindFixedFileInfo(std::span<const unsigned char>(data, size));
  if (info) {
    // Only a record that starts with the signature counts as found.
    if (info->signature != kSignature || VersionText(*info).empty()) std::abort();
  }
  return 0;
}
