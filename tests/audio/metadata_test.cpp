// Header tags, in-stream titles and their syncs, timed with playback.
#include <algorithm>
#include <mutex>

#include "audio/engine_env.h"
#include "support/media.h"

using namespace ornivox::enginetest;
using namespace ornivox::testsupport;

namespace {

// What the syncs reported: the tag read inside the callback and when.
struct SyncLog {
  std::mutex mutex;
  std::vector<std::pair<std::string, double>> entries;
  Clock::time_point start = Clock::now();
  DWORD tag = BASS_TAG_META;

  static void record(HSYNC, DWORD channel, DWORD, void* user) {
    auto* log = static_cast<SyncLog*>(user);
    const char* text = BASS_ChannelGetTags(channel, log->tag);
    std::string value = text ? text : "";
    if (log->tag == BASS_TAG_OGG || log->tag == BASS_TAG_WMA) {
      value.clear();
      for (const auto& e : tagList(text)) value += e + "|";
    }
    std::lock_guard lock(log->mutex);
    log->entries.emplace_back(value, std::chrono::duration<double>(Clock::now() - log->start).count());
  }
  std::size_t size() {
    std::lock_guard lock(mutex);
    return entries.size();
  }
};

std::string icyScenario(const std::string& headers, int metaint, const std::string& titles, int titleEvery, int rate) {
  return R"({"s": [{"send": ")" + headers + R"("}, {"audio": {"file": ")" + mediaFile("tone_lr.mp3") +
         R"(", "bytes": 2000000, "metaint": )" + std::to_string(metaint) + R"(, "titles": )" + titles +
         R"(, "title_every": )" + std::to_string(titleEvery) + R"(, "rate": )" + std::to_string(rate) + "}}]}";
}

}  // namespace

TEST_F(EngineTest, IcyAnswersGiveTheIcyList) {
  struct Case {
    const char* name;
    std::string separator;
  } cases[] = {{"CR LF", "\\r\\n"}, {"LF only", "\\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string sep = c.separator;
    auto server = ScriptedServer::start(icyScenario(
        "ICY 200 OK" + sep + "icy-name:Yerel ICY   " + sep + "icy-genre:Pop" + sep + "icy-br:128" + sep +
            "icy-metaint:8192" + sep + sep,
        8192, R"(["StreamTitle='Ilk';StreamUrl='';"])", 0, 0));
    const HSTREAM h = open(server->url("s"));
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    EXPECT_EQ(tagList(BASS_ChannelGetTags(h, BASS_TAG_ICY)),
              (std::vector<std::string>{"ICY 200 OK", "icy-name:Yerel ICY   ", "icy-genre:Pop", "icy-br:128",
                                        "icy-metaint:8192"}));
    EXPECT_EQ(BASS_ChannelGetTags(h, BASS_TAG_HTTP), nullptr);
    ASSERT_TRUE(waitUntil([&] { return BASS_ChannelGetTags(h, BASS_TAG_META) != nullptr; }, 3s));
    EXPECT_STREQ(BASS_ChannelGetTags(h, BASS_TAG_META), "StreamTitle='Ilk';StreamUrl='';");

    ASSERT_TRUE(server->waitForRequest("s", 2s));  // the log reaches us on the server's own time
    const auto request = server->requests().at(0);
    EXPECT_EQ(request.header("User-Agent").value_or(""), "LODOSFIL");
    EXPECT_EQ(request.header("Icy-MetaData").value_or(""), "1");
    BASS_StreamFree(h);
  }
}

TEST_F(EngineTest, MetaSyncFiresInOrderWhenTheTitleIsHeard) {
  // 16000 audio bytes a second; blocks every 8192 bytes; a new title from
  // byte 24000 and from byte 48000 on. The server sends as fast as the
  // engine takes it, so each title is downloaded seconds before it is heard.
  auto server = ScriptedServer::start(icyScenario(
      "ICY 200 OK\\r\\nicy-br:128\\r\\nicy-metaint:8192\\r\\n\\r\\n", 8192,
      R"(["StreamTitle='A';", "StreamTitle='B';", "StreamTitle='C';"])", 24000, 0));
  const HSTREAM h = open(server->url("s"));
  ASSERT_NE(h, 0u);
  SyncLog log;
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_META, 0, &SyncLog::record, &log), 0u);
  ASSERT_TRUE(waitUntil([&] { return BASS_StreamGetFilePosition(h, BASS_FILEPOS_DOWNLOAD) >= BASS_StreamGetFilePosition(h, BASS_FILEPOS_END); }, 5s));
  EXPECT_STREQ(BASS_ChannelGetTags(h, BASS_TAG_META), "StreamTitle='A';") << "before playback: the first block";
  log.start = Clock::now();
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(waitUntil([&] { return log.size() >= 3; }, 8s));

  std::lock_guard lock(log.mutex);
  const double heardAt[] = {8192 / 16000.0, 24576 / 16000.0, 49152 / 16000.0};
  const char* titles[] = {"StreamTitle='A';", "StreamTitle='B';", "StreamTitle='C';"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log.entries[static_cast<std::size_t>(i)].first, titles[i]);
    EXPECT_GT(log.entries[static_cast<std::size_t>(i)].second, heardAt[i] - 0.25);
    EXPECT_LT(log.entries[static_cast<std::size_t>(i)].second, heardAt[i] + 0.5);
  }
}

TEST_F(EngineTest, IcecastTitleChangeReachesTheSyncInUtf8) {
  auto& station = EngineEnvironment::station();
  const HSTREAM h = open(station.url("/tone.mp3"));
  ASSERT_NE(h, 0u);
  SyncLog log;
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_META, 0, &SyncLog::record, &log), 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  const std::string title = "\xC5\x9E" "ark\xC4\xB1 \xC4\x9F\xC3\xBC\xC4\xB1 \xC4\xB0";  // Şarkı ğüı İ
  ASSERT_TRUE(station.setTitle("/tone.mp3", title));
  const std::string expected = "StreamTitle='" + title + "';";
  EXPECT_TRUE(waitUntil(
      [&] {
        std::lock_guard lock(log.mutex);
        for (const auto& e : log.entries)
          if (e.first.rfind(expected, 0) == 0) return true;
        return false;
      },
      10s));
}

TEST_F(EngineTest, ChainedOggChangesCommentsWhenTheNextLinkIsHeard) {
  auto server = ScriptedServer::start(R"({"s": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: application/ogg\r\n\r\n"},)"
                                      R"({"audio": {"file": ")" + mediaFile("chained.ogg") +
                                      R"(", "bytes": 90000, "rate": 40000}}, {"hold": 10}]})");
  const HSTREAM h = open(server->url("s"));
  ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
  auto comments = tagList(BASS_ChannelGetTags(h, BASS_TAG_OGG));
  auto hasTitle = [](const std::string& list, const std::string& title) {
    std::string lower = list;
    for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return lower.find("title=" + title) != std::string::npos;
  };
  std::string first;
  for (const auto& c : comments) first += c + "|";
  EXPECT_TRUE(hasTitle(first, "bir")) << first;

  SyncLog log;
  log.tag = BASS_TAG_OGG;
  ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_OGG_CHANGE, 0, &SyncLog::record, &log), 0u);
  ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
  ASSERT_TRUE(waitUntil([&] { return log.size() >= 1; }, 8s));
  std::lock_guard lock(log.mutex);
  EXPECT_TRUE(hasTitle(log.entries[0].first, "\xC4\xB0ki")) << log.entries[0].first;  // İki
  EXPECT_GT(log.entries[0].second, 2.5) << "the second link starts after 3 s of audio";
}

// An ASF source that starts over sends a fresh header: the engine reads on
// through it, and its tags replace the first header's once it is heard. The
// script command ahead of the first audio is there at creation.
TEST_F(EngineTest, AsfScriptCommandAndFreshHeaderReachTheirSyncs) {
  struct Case {
    const char* file;
    const char* scriptAtCreation;  // null: none
  } cases[] = {{"wma_script_restart.wma", "title=Haber"}, {"wma_restart.wma", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto server = ScriptedServer::start(R"({"s": [{"send": "HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\n\r\n"},)"
                                        R"({"audio": {"file": ")" + mediaFile(c.file) +
                                        R"(", "bytes": 110000, "rate": 40000}}, {"hold": 10}]})");
    const HSTREAM h = open(server->url("s"));
    ASSERT_NE(h, 0u) << BASS_ErrorGetCode();
    const char* script = BASS_ChannelGetTags(h, BASS_TAG_WMA_META);
    if (c.scriptAtCreation) {
      ASSERT_NE(script, nullptr);
      EXPECT_STREQ(script, c.scriptAtCreation);
    } else {
      EXPECT_EQ(script, nullptr);
      EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    }
    const auto first = tagList(BASS_ChannelGetTags(h, BASS_TAG_WMA));
    EXPECT_NE(std::find(first.begin(), first.end(), "title=Bir"), first.end());

    SyncLog headers;
    headers.tag = BASS_TAG_WMA;
    SyncLog scripts;
    scripts.tag = BASS_TAG_WMA_META;
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_WMA_CHANGE, 0, &SyncLog::record, &headers), 0u);
    ASSERT_NE(BASS_ChannelSetSync(h, BASS_SYNC_WMA_META, 0, &SyncLog::record, &scripts), 0u);
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(waitUntil([&] { return headers.size() >= 1; }, 10s));
    {
      std::lock_guard lock(headers.mutex);
      EXPECT_EQ(headers.entries[0].first.find("title=Bir"), std::string::npos) << headers.entries[0].first;
      EXPECT_NE(headers.entries[0].first.find("title=Iki|"), std::string::npos) << headers.entries[0].first;
      EXPECT_GT(headers.entries[0].second, 2.5) << "the fresh header comes after 3 s of audio";
    }
    // The second header's audio plays on.
    EXPECT_TRUE(waitUntil([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_PLAYING && BASS_ChannelGetLevel(h) > 0; }, 5s));
    const double freshHeaderAt = [&] {
      std::lock_guard lock(headers.mutex);
      return headers.entries[0].second;
    }();
    std::lock_guard lock(scripts.mutex);
    if (c.scriptAtCreation) {
      // Heard with the first sound, though it came before the stream was made.
      ASSERT_EQ(scripts.entries.size(), 1u);
      EXPECT_EQ(scripts.entries[0].first, c.scriptAtCreation);
      EXPECT_LT(scripts.entries[0].second, freshHeaderAt - 2.0) << "the command comes with the first audio";
    } else {
      EXPECT_TRUE(scripts.entries.empty());
    }
    BASS_StreamFree(h);
  }
}
