#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "support/process.h"

namespace ornivox::testsupport {

// A real Icecast 2 server on 127.0.0.1 fed with test tones (left 440 Hz,
// right 1000 Hz, -6 dBFS each), run by tests/fixtures/icecast_station.py:
//   /tone.mp3  MP3 128 kbps, audio/mpeg, icy-name "Yerel Deneme MP3"
//   /tone.aac  ADTS AAC 128 kbps, audio/aac
//   /tone.ogg  chained Ogg Vorbis, a new link every 6 s titled
//              "Parça Bir" / "Parça İki"
// MP3 and AAC titles travel as UTF-8. Stopped and cleaned up on destruction.
class IcecastStation {
public:
    // Blocks until every mount serves audio (typically 0.5-2 s). Throws
    // std::runtime_error with the fixture's reason when that fails.
    static std::unique_ptr<IcecastStation> start(
        std::vector<std::string> mounts = {"/tone.mp3", "/tone.aac", "/tone.ogg"});
    ~IcecastStation();

    int port() const { return port_; }
    // "http://127.0.0.1:PORT/tone.mp3"
    std::string url(std::string_view mount) const;
    const std::string& adminUser() const { return adminUser_; }
    const std::string& adminPassword() const { return adminPassword_; }

    // Sets the song title through Icecast's admin interface. Listeners see it
    // in the next ICY metadata block; one who connects right after the change
    // first gets the burst, which still carries the old title.
    bool setTitle(std::string_view mount, std::string_view utf8Title);

private:
    explicit IcecastStation(std::unique_ptr<ChildProcess> child) : child_(std::move(child)) {}

    std::mutex mutex_;  // one command at a time on the fixture's stdin
    std::unique_ptr<ChildProcess> child_;
    int port_ = 0;
    std::string adminUser_;
    std::string adminPassword_;
};

}  // namespace ornivox::testsupport
