// Stations that misbehave end in a clean failure or an ended stream, within
// the network time-out, never a hang or a crash; playlists are followed.
#include "audio/engine_env.h"
#include "support/media.h"

using namespace ornivox::enginetest;
using namespace ornivox::testsupport;

namespace {

constexpr auto kLimit = std::chrono::milliseconds(kTestTimeoutMs) + 2s;

std::string audioStep(int bytes, int metaint = 0, int rate = 0) {
  return R"({"audio": {"file": ")" + mediaFile("tone_lr.mp3") + R"(", "bytes": )" + std::to_string(bytes) +
         R"(, "metaint": )" + std::to_string(metaint) + R"(, "titles": ["StreamTitle='X';"], "rate": )" +
         std::to_string(rate) + "}}";
}

const std::string kMp3Headers = R"({"send": "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n"})";

std::string scenarios() {
  return "{"
         R"("stall": [{"stall": 20}],)"
         R"("trickle": [{"trickle": {"text": "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n", "interval": 0.5}}],)"
         R"("noheaders": [)" + audioStep(100000) + "],"
         R"("garbage": [)" + kMp3Headers + R"(, {"garbage": 300000}],)"
         R"("badmeta": [{"send": "ICY 200 OK\r\nicy-metaint:8192\r\n\r\n"}, )" + audioStep(8192, 0) +
         R"(, {"meta_raw_hex": "ff00ff00"}, )" + audioStep(200000) + "],"
         R"("dropheaders": [)" + kMp3Headers + "],"
         R"("dropmid": [)" + kMp3Headers + "," + audioStep(48000) + R"(, {"reset": true}],)"
         R"("stallmid": [)" + kMp3Headers + "," + audioStep(48000) + R"(, {"stall": 20}],)"
         R"("redirect": [{"send": "HTTP/1.0 302 Found\r\nLocation: /audio\r\n\r\n"}],)"
         R"("loop": [{"send": "HTTP/1.0 302 Found\r\nLocation: /loop\r\n\r\n"}],)"
         R"("missing": [{"send": "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<h1>yok</h1>"}],)"
         R"("empty": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: 0\r\n\r\n"}],)"
         R"("html": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>Bakim</body></html>"}],)"
         R"("audio": [)" + kMp3Headers + "," + audioStep(400000, 0, 32000) + "],"
         R"("list.pls": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n[playlist]\r\nFile1=http://127.0.0.1:{PORT}/missing\r\nFile2=/etc/passwd\r\nFile3=http://127.0.0.1:{PORT}/audio\r\n"}],)"
         R"("list.m3u": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n#EXTM3U\n#EXTINF:-1,Yerel\nhttp://127.0.0.1:{PORT}/audio\n"}],)"
         R"("asx": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n<ASX version=\"3.0\"><Entry><Ref href=\"http://127.0.0.1:{PORT}/list.m3u\"/></Entry></ASX>"}],)"
         R"("localonly.pls": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n[playlist]\nFile1=/etc/passwd\nFile2=file:///etc/passwd\n"}],)"
         R"("self.m3u": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\nhttp://127.0.0.1:{PORT}/self.m3u\n"}],)"
         // Three mirrors that never answer, one behind a nested playlist.
         R"("mirrors.asx": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n<ASX version=\"3.0\"><Entry><Ref href=\"http://127.0.0.1:{PORT}/stall\"/></Entry><Entry><Ref href=\"http://127.0.0.1:{PORT}/stall.m3u\"/></Entry><Entry><Ref href=\"http://127.0.0.1:{PORT}/stall\"/></Entry></ASX>"}],)"
         R"("stall.m3u": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\nhttp://127.0.0.1:{PORT}/stall\n"}])"
         "}";
}

class Misbehaving : public EngineTest {
 protected:
  static void SetUpTestSuite() { server_ = ScriptedServer::start(scenarios()); }
  static void TearDownTestSuite() { server_.reset(); }
  static std::unique_ptr<ScriptedServer> server_;
};
std::unique_ptr<ScriptedServer> Misbehaving::server_;

}  // namespace

TEST_F(Misbehaving, CreateFailsCleanlyAndInTime) {
  struct Case {
    const char* path;
    int error;
  } cases[] = {
      {"stall", BASS_ERROR_TIMEOUT},     {"trickle", BASS_ERROR_TIMEOUT}, {"noheaders", BASS_ERROR_FILEFORM},
      {"dropheaders", BASS_ERROR_FILEFORM}, {"loop", BASS_ERROR_CREATE},   {"missing", BASS_ERROR_CREATE},
      {"empty", BASS_ERROR_FILEFORM},    {"html", BASS_ERROR_FILEFORM},   {"localonly.pls", BASS_ERROR_FILEFORM},
      {"self.m3u", BASS_ERROR_FILEFORM},
      // One time-out for the whole create, however many entries it tries.
      {"mirrors.asx", BASS_ERROR_TIMEOUT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto start = Clock::now();
    EXPECT_EQ(open(server_->url(c.path)), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), c.error);
    EXPECT_LT(Clock::now() - start, kLimit);
  }
}

TEST_F(Misbehaving, UnreachableAndEmptyAddresses) {
  EXPECT_EQ(open(""), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  EXPECT_EQ(open("/etc/passwd"), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN);
  // Port 9 on loopback: nothing listens there.
  EXPECT_EQ(open("http://127.0.0.1:9/stream"), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NONET);
  EXPECT_EQ(open("mmsh://127.0.0.1:9/stream"), 0u);
  EXPECT_NE(BASS_ErrorGetCode(), BASS_OK);
}

TEST_F(Misbehaving, DamagedStreamsPlayOrEndButNeverHang) {
  for (const char* path : {"garbage", "badmeta"}) {
    SCOPED_TRACE(path);
    const auto start = Clock::now();
    const HSTREAM h = open(server_->url(path));
    EXPECT_LT(Clock::now() - start, kLimit);
    if (!h) continue;  // judged undecodable: a clean failure
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    // The decoder works its way through the damage: it keeps taking input
    // (or the stream ends and frees itself), it does not wedge.
    EXPECT_TRUE(waitUntil(
        [&] {
          const QWORD taken = BASS_StreamGetFilePosition(h, BASS_FILEPOS_CURRENT);
          return taken == BASS_POSITION_FAIL || taken > 64000;
        },
        10s));
    BASS_StreamFree(h);
  }
}

TEST_F(Misbehaving, DroppedStreamPlaysOutEndsAndFreesItself) {
  const HSTREAM h = open(server_->url("dropmid"));
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  // The server resets after 48000 bytes: the download has ended before the
  // buffer is full, and the stream says so.
  EXPECT_TRUE(waitUntil([&] { return BASS_StreamGetFilePosition(h, BASS_FILEPOS_CONNECTED) == 0; }, 5s));
  const auto start = Clock::now();
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  // 48000 bytes are three seconds of audio.
  ASSERT_TRUE(waitUntil([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 8s));
  EXPECT_GT(Clock::now() - start, 2500ms) << "what was buffered is played out first";
  EXPECT_TRUE(waitUntil([&] { return BASS_StreamGetFilePosition(h, BASS_FILEPOS_END) == BASS_POSITION_FAIL; }, 2s));
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
  EXPECT_FALSE(BASS_ChannelPlay(h, FALSE));
}

TEST_F(Misbehaving, StalledServerStallsThePlayerThenEndsIt) {
  const HSTREAM h = open(server_->url("stallmid"));
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(waitUntil([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STALLED; }, 8s));
  EXPECT_EQ(BASS_ChannelGetLevel(h), 0u);
  // A server that stays silent past the network time-out has dropped the stream.
  EXPECT_TRUE(waitUntil([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, kLimit + 3s));
}

TEST_F(Misbehaving, PlaylistsAndRedirectsAreFollowed) {
  for (const char* path : {"redirect", "list.pls", "list.m3u", "asx"}) {
    SCOPED_TRACE(path);
    const HSTREAM h = open(server_->url(path));
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(h, &info));
    EXPECT_EQ(info.ctype, BASS_CTYPE_STREAM_MP3);
    EXPECT_EQ(std::string(info.filename), server_->url("audio"));
    BASS_StreamFree(h);
  }
}

TEST_F(Misbehaving, PlaylistsAreNotFollowedWhenSwitchedOff) {
  BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 0);
  EXPECT_EQ(open(server_->url("list.pls")), 0u);
  EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM);
  BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
}
