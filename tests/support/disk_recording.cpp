#include "support/disk_recording.h"

#include <filesystem>
#include <fstream>

namespace ornivox::testsupport {

std::uintmax_t DiskRecording::bytes() const {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path_, ec);
    return ec ? 0 : size;
}

std::vector<std::int16_t> DiskRecording::read(std::uintmax_t from, std::size_t frames) const {
    from -= from % 4;
    std::ifstream in(path_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    std::vector<std::int16_t> pcm(frames * 2);
    in.read(reinterpret_cast<char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
    pcm.resize(static_cast<std::size_t>(in.gcount()) / 2);
    return pcm;
}

}  // namespace ornivox::testsupport
