#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ornivox::testsupport {

// What SDL's disk driver wrote: 16-bit stereo frames, appended as the device
// plays.
class DiskRecording {
public:
    explicit DiskRecording(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    // Bytes written so far; 0 before the file exists.
    std::uintmax_t bytes() const;
    // Up to `frames` frames from byte `from` on (rounded down to a frame).
    std::vector<std::int16_t> read(std::uintmax_t from, std::size_t frames) const;

private:
    std::string path_;
};

}  // namespace ornivox::testsupport
