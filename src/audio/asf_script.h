// A script command as an ASF command-media stream carries it mid-stream: two
// NUL-ended UTF-16LE texts, the command's type and its parameter. The
// engine hands it on as one UTF-8 text, "type=parameter".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ornivox::audio {

// None when the payload does not start with a NUL-ended, non-empty type. A
// lone surrogate becomes U+FFFD; a missing final NUL ends the parameter at
// the payload's end, as encoders that count the length exactly do.
std::optional<std::string> scriptCommandText(const std::uint8_t* data, std::size_t size);

}  // namespace ornivox::audio
