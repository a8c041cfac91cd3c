// Checks the fixtures themselves, so a failing player test points at the
// player and not at its test station.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <string>
#include <strings.h>
#include <vector>

#include "support/icecast_station.h"
#include "support/loopback_client.h"
#include "support/media.h"
#include "support/reference_decode.h"
#include "support/scripted_server.h"
#include "support/signal_analysis.h"

namespace ts = ornivox::testsupport;
using namespace std::chrono_literals;

namespace {

struct Reply {
    std::string head;
    std::string body;
};

Reply splitReply(const std::string& raw) {
    auto end = raw.find("\r\n\r\n");
    if (end == std::string::npos) return {raw, {}};
    return {raw.substr(0, end), raw.substr(end + 4)};
}

std::optional<std::string> header(const std::string& head, std::string_view name) {
    size_t pos = 0;
    while ((pos = head.find("\r\n", pos)) != std::string::npos) {
        pos += 2;
        if (head.size() - pos > name.size() && head[pos + name.size()] == ':' &&
            ::strncasecmp(head.data() + pos, name.data(), name.size()) == 0) {
            size_t v = head.find_first_not_of(' ', pos + name.size() + 1);
            return head.substr(v, head.find("\r\n", v) - v);
        }
    }
    return std::nullopt;
}

// Splits an ICY body into audio and the texts of the non-empty metadata blocks.
struct Icy {
    std::string audio;
    std::vector<std::string> meta;
};

Icy demux(const std::string& body, size_t metaint) {
    Icy out;
    size_t pos = 0;
    while (pos < body.size()) {
        size_t n = std::min(metaint, body.size() - pos);
        out.audio.append(body, pos, n);
        pos += n;
        if (pos >= body.size()) break;
        size_t len = static_cast<unsigned char>(body[pos]) * 16u;
        if (pos + 1 + len > body.size()) break;  // block not complete yet
        if (len) out.meta.push_back(body.substr(pos + 1, body.find('\0', pos + 1) - pos - 1).substr(0, len));
        pos += 1 + len;
    }
    return out;
}

// Offset of the first spot where three MP3 frames follow each other.
std::optional<size_t> mp3FrameRun(const std::string& audio) {
    auto sync = [&](size_t p) {
        return p + 1 < audio.size() && static_cast<unsigned char>(audio[p]) == 0xFF &&
               (static_cast<unsigned char>(audio[p + 1]) & 0xE0) == 0xE0;
    };
    // 128 kbps at 44.1 kHz: 417 bytes, 418 with the padding bit.
    for (size_t p = 0; p + 2000 < audio.size(); ++p) {
        if (!sync(p)) continue;
        for (size_t a : {417u, 418u})
            for (size_t b : {417u, 418u})
                if (sync(p + a) && sync(p + a + b)) return p;
    }
    return std::nullopt;
}

std::string request(std::string_view path, bool icy = true) {
    return "GET " + std::string(path) + " HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: ornivox-selftest\r\n" +
           (icy ? "Icy-MetaData: 1\r\n" : "") + "\r\n";
}

}  // namespace

TEST(IcecastStationTest, Mp3HasBitrateHeadersAudioAndUtf8Titles) {
    auto station = ts::IcecastStation::start({"/tone.mp3"});
    ts::LoopbackConnection conn(station->port());
    ASSERT_TRUE(conn.send(request("/tone.mp3")));
    std::string raw;
    ASSERT_TRUE(conn.receive(raw, 64 * 1024 + 4096, 15s)) << raw.size() << " bytes only";

    Reply reply = splitReply(raw);
    EXPECT_EQ(reply.head.substr(0, reply.head.find("\r\n")), "HTTP/1.0 200 OK");
    EXPECT_EQ(header(reply.head, "icy-br"), "128");
    EXPECT_EQ(header(reply.head, "Content-Type"), "audio/mpeg");
    EXPECT_EQ(header(reply.head, "icy-name"), "Yerel Deneme MP3");
    auto metaint = header(reply.head, "icy-metaint");
    ASSERT_TRUE(metaint);
    const size_t mi = std::stoul(*metaint);
    EXPECT_TRUE(mp3FrameRun(demux(reply.body, mi).audio)) << "no MP3 frames in the audio";

    const std::string title = "Şarkı ğüı İ";
    ASSERT_TRUE(station->setTitle("/tone.mp3", title));
    // This listener is past the burst now: a later block carries the title.
    const std::string wanted = "StreamTitle='" + title + "';";
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    bool seen = false;
    while (!seen && std::chrono::steady_clock::now() < deadline && !conn.peerClosed()) {
        conn.receive(raw, raw.size() + 16384, 500ms);
        for (const auto& m : demux(splitReply(raw).body, mi).meta) seen = seen || m == wanted;
    }
    EXPECT_TRUE(seen) << "title not seen as UTF-8 in the ICY metadata";
}

TEST(IcecastStationTest, EveryMountServesItsFormat) {
    struct Case {
        const char* mount;
        const char* contentType;
        std::string magic;  // must occur in the first bytes of the body
    };
    const std::vector<Case> cases = {
        {"/tone.mp3", "audio/mpeg", "\xFF\xFB"},
        {"/tone.aac", "audio/aac", "\xFF\xF1"},
        {"/tone.ogg", "application/ogg", "title=Par\xC3\xA7" "a "},
    };
    auto station = ts::IcecastStation::start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mount);
        std::string raw = ts::exchange(station->port(), request(c.mount, false), 4096, 10s);
        Reply reply = splitReply(raw);
        EXPECT_EQ(header(reply.head, "Content-Type"), c.contentType);
        EXPECT_EQ(header(reply.head, "icy-br"), "128");
        EXPECT_NE(reply.body.find(c.magic), std::string::npos);
    }
    EXPECT_EQ(station->url("/tone.ogg"), "http://127.0.0.1:" + std::to_string(station->port()) + "/tone.ogg");
    EXPECT_FALSE(station->setTitle("/missing.mp3", "x"));
}

TEST(ScriptedServerTest, PlaysScriptsByteExactly) {
    const auto data = std::filesystem::temp_directory_path() /
                      ("ornivox-selftest-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(data, std::ios::binary) << "0123456789abcdefghij";

    auto server = ts::ScriptedServer::start(R"({
      "icy": [{"send": "ICY 200 OK\r\nicy-metaint:16\r\n\r\n"},
              {"audio": {"file": "{DATA}", "bytes": 40, "metaint": 16, "title_every": 16,
                         "titles": ["StreamTitle='A';", "StreamTitle='Ş';"]}}],
      "raw_meta": [{"audio": {"file": "{DATA}", "bytes": 16, "metaint": 16}},
                   {"meta_raw_hex": "ff"},
                   {"audio": {"file": "{DATA}", "bytes": 4, "metaint": 16}}],
      "vars": [{"send": "p={PORT} w={WHO} k={KEEP}"}],
      "list.pls": [{"send": "[playlist]\nFile1=http://127.0.0.1:{PORT}/icy\n"}],
      "hex": [{"send_hex": "00ff41"}, {"close": true}, {"send": "never"}],
      "noise": [{"garbage": 8}]
    })",
                                            {{"DATA", data.string()}, {"WHO", "ben"}});
    const std::string port = std::to_string(server->port());
    struct Case {
        const char* path;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/icy", std::string("ICY 200 OK\r\nicy-metaint:16\r\n\r\n0123456789abcdef") +
                     "\x01StreamTitle='A';ghij0123456789ab" + "\x02StreamTitle='\xC5\x9E';" +
                     std::string(15, '\0') + "cdefghij"},
        {"/raw_meta", "0123456789abcdef\xFF" "0123"},
        {"/vars", "p=" + port + " w=ben k={KEEP}"},
        {"/list.pls?x=1", "[playlist]\nFile1=http://127.0.0.1:" + port + "/icy\n"},
        {"/hex", std::string("\0\xFF" "A", 3)},
        {"/missing", "HTTP/1.0 404 Not Found\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string got = ts::exchange(server->port(), request(c.path), 4096, 10s);
        EXPECT_EQ(got.substr(0, c.expected.size()), c.expected);
        if (std::string_view(c.path) != "/missing") {
            EXPECT_EQ(got.size(), c.expected.size());
        }
    }
    const std::string noise = ts::exchange(server->port(), request("/noise"), 4096, 10s);
    EXPECT_EQ(noise.size(), 8u);
    EXPECT_EQ(noise, ts::exchange(server->port(), request("/noise"), 4096, 10s)) << "not repeatable";

    ASSERT_TRUE(server->waitForRequest("icy", 5s));
    ASSERT_TRUE(server->waitForRequests("/noise", 2, 5s));
    const auto requests = server->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front().method, "GET");
    EXPECT_EQ(requests.front().header("user-agent"), "ornivox-selftest");
    EXPECT_EQ(requests.front().header("ICY-METADATA"), "1");
    EXPECT_EQ(server->requestCount("/list.pls"), 1u);
    EXPECT_EQ(server->requestLines().size(), cases.size() + 2);
    std::filesystem::remove(data);
}

TEST(SignalAnalysisTest, GoertzelPeakAndRmsOnSyntheticTones) {
    const int rate = 44100;
    const size_t frames = rate / 2;
    std::vector<int16_t> pcm(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        pcm[2 * i] = static_cast<int16_t>(std::lround(16384 * std::sin(2 * std::numbers::pi * 440 * t)));
        pcm[2 * i + 1] = static_cast<int16_t>(std::lround(32767 * std::sin(2 * std::numbers::pi * 1000 * t)));
    }
    struct Case {
        int channel;
        double freq;
        double expected;
    };
    for (const Case& c : {Case{0, 440, 0.5}, Case{0, 1000, 0.0}, Case{1, 1000, 1.0}, Case{1, 440, 0.0},
                          Case{0, 460, 0.0}}) {
        EXPECT_NEAR(ts::toneMagnitude(pcm.data(), frames, c.channel, c.freq, rate), c.expected, 0.01)
            << "channel " << c.channel << " at " << c.freq << " Hz";
    }
    EXPECT_NEAR(ts::peak(pcm.data(), frames, 0), 16384, 2);
    EXPECT_NEAR(ts::rms(pcm.data(), frames, 1), std::sqrt(0.5), 0.01);
}

TEST(MediaTest, GeneratedFilesCarryTheirTones) {
    struct Case {
        const char* file;
        int channel;
        double freq;
        double magnitude;  // expected, within 0.05
        int rate = 44100;
        int channels = 2;
    };
    const std::vector<Case> cases = {
        {"tone_lr.mp3", 0, 440, 0.5},       {"tone_lr.mp3", 1, 1000, 0.5},   {"tone_lr.mp3", 0, 1000, 0.0},
        {"tone_lr.aac", 1, 1000, 0.5},      {"tone_lr.ogg", 0, 440, 0.5},    {"tone_lr.wma", 1, 1000, 0.5},
        {"right_full.mp3", 1, 1000, 0.966}, {"right_full.mp3", 0, 1000, 0.0}, {"silence.mp3", 0, 440, 0.0},
        {"chained.ogg", 1, 440, 0.5},       {"tone_lr_mono22k.mp3", 0, 660, 0.5, 22050, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " channel " + std::to_string(c.channel));
        auto pcm = ts::referenceDecode(ts::mediaFile(c.file), 1.5, c.rate, c.channels);
        const size_t frames = pcm.size() / static_cast<size_t>(c.channels);
        ASSERT_GE(frames, static_cast<size_t>(c.rate));
        // Skip the first 0.5 s: encoder delay and start-up are not the tone.
        const size_t skip = static_cast<size_t>(c.rate / 2);
        EXPECT_NEAR(ts::toneMagnitude(pcm.data() + skip * static_cast<size_t>(c.channels), frames - skip,
                                      c.channel, c.freq, c.rate, c.channels),
                    c.magnitude, 0.05);
    }
    EXPECT_EQ(ts::peak(ts::referenceDecode(ts::mediaFile("silence.mp3"), 1).data(), 44100, 0), 0);
}
