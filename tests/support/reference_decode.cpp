#include "support/reference_decode.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include "support/process.h"
#include "support/signal_analysis.h"

namespace ornivox::testsupport {

std::vector<int16_t> referenceDecode(const std::string& path, double seconds, int rate,
                                     int channels) {
    const char* tmp = std::getenv("TMPDIR");
    std::string out = std::string(tmp && *tmp ? tmp : "/tmp") + "/ornivox-decode-XXXXXX";
    int fd = ::mkstemp(out.data());
    if (fd < 0) throw std::runtime_error("cannot create " + out);
    ::close(fd);
    ChildProcess ffmpeg({"/usr/bin/ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                         "-i", path, "-t", std::to_string(seconds), "-f", "s16le", "-ac",
                         std::to_string(channels), "-ar", std::to_string(rate), out});
    auto code = ffmpeg.waitExit(std::chrono::seconds(60));
    ffmpeg.stop();
    std::vector<int16_t> pcm;
    if (code == 0) pcm = readRawS16(out);
    ::unlink(out.c_str());
    if (code != 0) throw std::runtime_error("ffmpeg could not decode " + path);
    return pcm;
}

}  // namespace ornivox::testsupport
