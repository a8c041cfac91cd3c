// How full a connecting stream's buffer is, from the engine's file
// positions.
//
// Threads: any; nothing is shared.
#pragma once

#include <cstdint>

#include "audio/bass.h"

namespace ornivox {

// Per cent of `end` that is downloaded but not yet decoded. An empty end
// (nothing known yet) counts as nothing buffered.
inline std::uint32_t BufferedPercent(QWORD end, QWORD download, QWORD current) {
  const auto total = static_cast<std::int64_t>(end);
  if (total == 0) return 0;
  return static_cast<std::uint32_t>((static_cast<std::int64_t>(download) - static_cast<std::int64_t>(current)) * 100 /
                                    total);
}

}  // namespace ornivox
