// The stream's own tags as the window gets them: station names and the
// codec and bit-rate label from the answer's headers, song titles from the
// ICY metadata blocks, through the player's connection threads, the real
// engine and local servers. Texts reach the view in code page 1254.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "player/player_fixture.h"
#include "station/identity.h"
#include "support/icecast_station.h"
#include "support/media.h"
#include "support/scripted_server.h"
#include "support/spin.h"

namespace ornivox {
namespace {

using namespace std::chrono_literals;

using testsupport::spinUntil;

// -- scenarios ----------------------------------------------------------

std::string Json(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;  // UTF-8 passes as it is
    }
  }
  return out + '"';
}

std::string JsonList(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (const std::string& t : texts) out += (out.size() > 1 ? ", " : "") + Json(t);
  return out + "]";
}

// The answer's head: its status line and header lines, as the server sends them.
std::string Head(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return R"({"send": )" + Json(text + "\r\n") + "}";
}

// MP3 audio as fast as the player takes it; with a block interval, the
// blocks carry `titles` (the next one after every `every` audio bytes).
std::string Audio(int metaint = 0, const std::vector<std::string>& titles = {}, int every = 0, int bytes = 2000000) {
  return R"({"audio": {"file": "{MEDIA}/tone_lr.mp3", "bytes": )" + std::to_string(bytes) +
         R"(, "metaint": )" + std::to_string(metaint) +
         R"(, "titles": )" + JsonList(titles) + R"(, "title_every": )" + std::to_string(every) + "}}";
}

std::string Field(std::string_view title) { return "StreamTitle='" + std::string(title) + "';"; }

// A metadata block as it goes on the wire: length byte, text, NUL padding.
std::string RawBlock(std::string_view text) {
  const size_t units = (text.size() + 15) / 16;
  std::string hex;
  auto byte = [&](unsigned char b) {
    static const char digits[] = "0123456789abcdef";
    hex += digits[b >> 4];
    hex += digits[b & 15];
  };
  byte(static_cast<unsigned char>(units));
  for (char c : text) byte(static_cast<unsigned char>(c));
  for (size_t i = text.size(); i < units * 16; ++i) byte(0);
  return R"({"meta_raw_hex": ")" + hex + R"("})";
}

// -- cases --------------------------------------------------------------

// The header list against the station line and the label. Each answer is
// an MP3 stream opened from a playlist file, as one given on the command
// line: the file's title is the preset station name.
struct HeaderCase {
  const char* name;
  std::vector<std::string> head;  // status line and headers
  const char* preset;             // the playlist's Title1; none when null
  const char* station;            // the line it ends with; null: the fallback (no name came)
  std::vector<std::string> labels;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

const std::string kMpeg = "content-type: audio/mpeg";

const HeaderCase kHeaderCases[] = {
    {"NameKeepsItsLeadingBlank", {"ICY 200 OK", "icy-name: Radyo", kMpeg}, nullptr, " Radyo", {}},
    {"PresetNameStays", {"ICY 200 OK", "icy-name: Radyo", kMpeg}, "Benim Radyom", "Benim Radyom", {}},
    {"TrailingBlanksGo", {"ICY 200 OK", "icy-name:Radyo   ", kMpeg}, nullptr, "Radyo", {}},
    {"FirstNameWins", {"ICY 200 OK", "icy-name:Bir", "icy-name:Iki", kMpeg}, nullptr, "Bir", {}},
    {"Utf8NameInCodePage", {"ICY 200 OK", "icy-name:Yerel \xC5\x9E" "ehir", kMpeg}, nullptr, "Yerel \xDE" "ehir", {}},
    {"UpperCaseNameIgnored", {"ICY 200 OK", "ICY-NAME:Radyo", kMpeg}, nullptr, nullptr, {}},
    {"Rate", {"ICY 200 OK", "icy-br:128", kMpeg}, nullptr, nullptr, {"128 kbps mp3"}},
    {"RateAfterBlank", {"ICY 200 OK", "icy-br: 96", kMpeg}, nullptr, nullptr, {"96 kbps mp3"}},
    // Each entry sets the label afresh, both times from the last one.
    {"LastOfTwoRates", {"ICY 200 OK", "icy-br:64", "icy-br:128", kMpeg}, nullptr, nullptr,
     {"128 kbps mp3", "128 kbps mp3"}},
    {"RateListIsNoNumber", {"ICY 200 OK", "icy-br:128,64", kMpeg}, nullptr, nullptr, {"0 kbps mp3"}},
    {"HttpAnswerPrefersIceBitrate", {"HTTP/1.0 200 OK", "ice-bitrate:64", "icy-br:128", kMpeg}, nullptr, nullptr,
     {"64 kbps mp3"}},
    // Only an icy-br entry asks for the label.
    {"HttpAnswerWithoutIcyBr", {"HTTP/1.0 200 OK", "ice-bitrate:64", kMpeg}, nullptr, nullptr, {}},
    {"NameAndRate", {"ICY 200 OK", "icy-name:Radyo", "icy-br:128", kMpeg}, nullptr, "Radyo", {"128 kbps mp3"}},
};

// ICY metadata against the title line. `lines` are the title lines after
// the connecting text, repeats merged: a block is read once when the
// stream has buffered and again when it is heard.
struct TitleCase {
  const char* name;
  std::vector<std::string> steps;  // after the head
  std::vector<std::string> lines;
};

void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.name; }

constexpr int kMetaint = 8192;
// About a second of the 128 kbps tone between title changes.
constexpr int kTitleEvery = 16384;

const std::string k70 = "Yetmis karakterlik bir sarki adi, elli sekizinci karakterde kesilmeli!";
const std::string kDotless70 = [] {
  std::string s;
  for (int i = 0; i < 70; ++i) s += "\xC4\xB1";  // ı
  return s;
}();

const TitleCase kTitleCases[] = {
    {"Plain", {Audio(kMetaint, {Field("Artist - Song") + "StreamUrl='';"})}, {"Artist - Song"}},
    {"SemicolonInside", {Audio(kMetaint, {Field("Rock;Pop") + "StreamUrl='';"})}, {"Rock;Pop"}},
    {"ApostropheInside", {Audio(kMetaint, {Field("It's")})}, {"It's"}},
    {"Utf8InCodePage", {Audio(kMetaint, {Field("\xC5\x9E" "ark\xC4\xB1 S\xC3\xB6yle")})}, {"\xDE" "ark\xFD S\xF6yle"}},
    {"CutTo58", {Audio(kMetaint, {Field(k70)})}, {k70.substr(0, 58)}},
    // Cut after the conversion: 58 letters, not 58 bytes of UTF-8.
    {"CutTo58CodePageLetters", {Audio(kMetaint, {Field(kDotless70)})}, {std::string(58, '\xFD')}},
    {"TrailingBlanksGo", {Audio(kMetaint, {Field("Song   ")})}, {"Song"}},
    {"EmptyTitleKeepsTheLine", {Audio(kMetaint, {Field("Once"), Field(""), Field("Sonra")}, kTitleEvery)}, {"Once", "Sonra"}},
    {"UnendedBlockChangesNothing",
     {Audio(kMetaint, {Field("Once")}, 0, 2 * kMetaint), RawBlock("StreamTitle='Yarim kalan sarki"),
      Audio(kMetaint, {Field("Sonra")})},
     {"Once", "Sonra"}},
    {"TitlesInOrder", {Audio(kMetaint, {Field("Bir"), Field("Iki"), Field("Uc")}, kTitleEvery)}, {"Bir", "Iki", "Uc"}},
};

// A WMA station against the station line and the label. The stream is an
// ASF source that starts over after 3 s: its first header is titled "Bir",
// the fresh one "Iki"; the script variant carries "title=Haber" ahead of its
// first audio. Neither header title fills the name: at connection only the
// script command does, and the fresh header comes once the fallback has.
struct WmaCase {
  const char* name;
  const char* file;
  const char* preset;   // the playlist's Title1; none when null
  const char* station;  // null: the fallback (no name came)
};

void PrintTo(const WmaCase& c, std::ostream* os) { *os << c.name; }

const WmaCase kWmaCases[] = {
    {"ScriptTitleFillsAnEmptyName", "wma_script_restart.wma", nullptr, "1: Haber"},
    {"HeaderTitlesLeaveTheFallback", "wma_restart.wma", nullptr, nullptr},
    {"PresetNameStays", "wma_script_restart.wma", "Benim Radyom", "Benim Radyom"},
};

// -- servers ------------------------------------------------------------

std::unique_ptr<testsupport::ScriptedServer> gServer;
std::unique_ptr<testsupport::IcecastStation> gStation;
std::filesystem::path gPlaylists;

std::string HeaderScenario(const HeaderCase& c) { return std::string("header-") + c.name; }
std::string TitleScenario(const TitleCase& c) { return std::string("title-") + c.name; }
std::string WmaScenario(const WmaCase& c) { return std::string("wma-") + c.name; }

std::string Scenarios() {
  std::string json = "{";
  auto add = [&](const std::string& name, const std::vector<std::string>& steps) {
    json += (json.size() > 1 ? ",\n" : "") + Json(name) + ": [";
    for (size_t i = 0; i < steps.size(); ++i) json += (i ? ", " : "") + steps[i];
    json += "]";
  };
  for (const HeaderCase& c : kHeaderCases) add(HeaderScenario(c), {Head(c.head), Audio()});
  const std::string icy = Head({"ICY 200 OK", "icy-metaint:" + std::to_string(kMetaint), kMpeg});
  for (const TitleCase& c : kTitleCases) {
    std::vector<std::string> steps = {icy};
    steps.insert(steps.end(), c.steps.begin(), c.steps.end());
    add(TitleScenario(c), steps);
  }
  for (const WmaCase& c : kWmaCases) {
    add(WmaScenario(c), {Head({"HTTP/1.0 200 OK", "content-type: video/x-ms-asf"}),
                         R"({"audio": {"file": "{MEDIA}/)" + std::string(c.file) + R"(", "bytes": 120000}})",
                         R"({"hold": 20})"});
  }
  // A block with the same title every 2048 audio bytes, eight a second.
  add("Old", {Head({"ICY 200 OK", "icy-metaint:2048", kMpeg}), Audio(2048, {Field("old")}, 2048)});
  add("New", {icy, Audio(kMetaint, {Field("new")})});
  return json + "}";
}

class Servers : public testing::Environment {
 public:
  void SetUp() override {
    testsupport::mediaFile("tone_lr.mp3");
    gServer = testsupport::ScriptedServer::start(Scenarios());
    gStation = testsupport::IcecastStation::start();
    gPlaylists = std::filesystem::temp_directory_path() / ("ornivox-tags-" + std::to_string(getpid()));
    std::filesystem::create_directories(gPlaylists);
  }
  void TearDown() override {
    gServer.reset();
    gStation.reset();
    std::filesystem::remove_all(gPlaylists);
  }
};

testing::Environment* const gServers = testing::AddGlobalTestEnvironment(new Servers);

// -- fixture ------------------------------------------------------------

// Consecutive repeats merged.
std::vector<std::string> Merged(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& l : lines)
    if (out.empty() || out.back() != l) out.push_back(l);
  return out;
}

// Told whenever a block of a stream is heard. Set before the player's own
// sync, which the engine calls next on the same thread.
struct Heard {
  std::mutex mutex;
  std::condition_variable changed;
  int count = 0;

  static void sync(HSYNC, DWORD, DWORD, void* user) {
    auto& heard = *static_cast<Heard*>(user);
    std::lock_guard lock(heard.mutex);
    ++heard.count;
    heard.changed.notify_all();
  }
  bool waitForNext(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex);
    const int seen = count;
    return changed.wait_for(lock, limit, [&] { return count > seen; });
  }
};

// The title comment of each Ogg link as it is heard.
struct LinkTitles {
  std::mutex mutex;
  std::vector<std::string> titles;

  static void sync(HSYNC, DWORD channel, DWORD, void* user) {
    auto& heard = *static_cast<LinkTitles*>(user);
    std::string title;
    for (const char* t = BASS_ChannelGetTags(channel, BASS_TAG_OGG); t != nullptr && *t != '\0'; t += std::strlen(t) + 1) {
      if (std::string_view(t).starts_with("title=")) title = t + 6;
    }
    std::lock_guard lock(heard.mutex);
    heard.titles.push_back(title);
  }
  bool heardAll(const std::vector<std::string>& wanted) {
    std::lock_guard lock(mutex);
    return std::all_of(wanted.begin(), wanted.end(),
                       [&](const std::string& w) { return std::find(titles.begin(), titles.end(), w) != titles.end(); });
  }
};

class PlayerTags : public playertest::PlayerFixture {
 protected:
  // Syncs of the tests' own; members, so they outlive the engine, which
  // TearDown releases.
  Heard heard;
  bool probed = false;
  LinkTitles links;

  // Opens `url` as a playlist file given on the command line would.
  void openPlaylist(const std::string& url, const char* title) {
    static int written = 0;
    const auto file = gPlaylists / ("station" + std::to_string(++written) + ".pls");
    {
      std::ofstream out(file, std::ios::binary);
      out << "[playlist]\nNumberOfEntries=1\nFile1=" << url << "\n";
      if (title != nullptr) out << "Title1=" << title << "\n";
    }
    player->OpenStation(file.string());
  }
};

class PlayerHeaders : public PlayerTags, public testing::WithParamInterface<HeaderCase> {};
class PlayerWma : public PlayerTags, public testing::WithParamInterface<WmaCase> {};
class PlayerTitles : public PlayerTags, public testing::WithParamInterface<TitleCase> {};

// -- tests --------------------------------------------------------------

TEST_P(PlayerHeaders, StationLineAndLabel) {
  const HeaderCase& c = GetParam();
  openPlaylist(gServer->url(HeaderScenario(c)), c.preset);
  // Playback starts after the header's texts have been handled.
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s)) << testing::PrintToString(lines.station);
  const std::string want = c.station ? c.station : std::string(station::kPlaylistUrl);
  EXPECT_EQ(lines.station.back(), want);
  EXPECT_EQ(state().stationName, want);
  EXPECT_EQ(lines.kbps, c.labels);
}

INSTANTIATE_TEST_SUITE_P(Headers, PlayerHeaders, testing::ValuesIn(kHeaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(PlayerWma, StationLineAcrossAFreshHeader) {
  const WmaCase& c = GetParam();
  openPlaylist(gServer->url(WmaScenario(c)), c.preset);
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s)) << testing::PrintToString(lines.station);
  const std::string want = c.station ? c.station : std::string(station::kPlaylistUrl);
  EXPECT_TRUE(state().isWma);
  EXPECT_EQ(lines.station.back(), want);
  // Set behind the player's own sync, which the engine calls first: once
  // this one is told, the player's has handed its text to the window.
  ASSERT_NE(BASS_ChannelSetSync(state().channel, BASS_SYNC_WMA_CHANGE, 0, &Heard::sync, &heard), 0u);
  const size_t before = lines.station.size();
  ASSERT_TRUE(spinUntil([&] {
    std::lock_guard lock(heard.mutex);
    return heard.count > 0;
  }, 15s));
  ASSERT_TRUE(spinUntil([&] { return lines.station.size() > before; }, 5s))
      << "the fresh header's title reached the window";
  EXPECT_EQ(lines.station.back(), want);
  EXPECT_EQ(state().stationName, want);
  EXPECT_TRUE(lines.kbps.empty()) << testing::PrintToString(lines.kbps);
}

INSTANTIATE_TEST_SUITE_P(Wma, PlayerWma, testing::ValuesIn(kWmaCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(PlayerTitles, TitleLines) {
  const TitleCase& c = GetParam();
  openUrl(gServer->url(TitleScenario(c)));
  std::vector<std::string> want = {std::string(station::kSlogan)};
  want.insert(want.end(), c.lines.begin(), c.lines.end());
  ASSERT_TRUE(spinUntil([&] { return Merged(lines.title).size() >= want.size(); }, 20s))
      << testing::PrintToString(lines.title);
  const std::vector<std::string> got = Merged(lines.title);
  EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(want.size())), want);
}

INSTANTIATE_TEST_SUITE_P(Titles, PlayerTitles, testing::ValuesIn(kTitleCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerTags, AReplacedConnectionsTitlesNeverShow) {
  // The buffering lines come before the header step sets the player's
  // syncs, and the connection waits while the view takes them.
  lines.onStationLine = [&](const std::string& line) {
    if (probed || line.rfind("Y\xFCkleniyor", 0) != 0) return;
    probed = BASS_ChannelSetSync(state().channel, BASS_SYNC_META, 0, &Heard::sync, &heard) != 0;
  };
  openUrl(gServer->url("Old"));
  // Its titles keep coming while it is the current connection.
  ASSERT_TRUE(spinUntil([&] { return std::count(lines.title.begin(), lines.title.end(), "old") >= 3; }, 20s))
      << testing::PrintToString(lines.title);
  ASSERT_TRUE(probed);
  // Replaced while the next title is on its way: without the event loop
  // running, the player's sync waits to hand it over.
  ASSERT_TRUE(heard.waitForNext(5s));
  playUrl(gServer->url("New"));
  const size_t switched = lines.title.size();
  ASSERT_TRUE(spinUntil([&] { return lines.titleLine() == "new"; }, 20s)) << testing::PrintToString(lines.title);
  const std::vector<std::string> after(lines.title.begin() + static_cast<std::ptrdiff_t>(switched), lines.title.end());
  EXPECT_EQ(std::count(after.begin(), after.end(), "old"), 0) << testing::PrintToString(after);
  EXPECT_EQ(state().currentTitle, "new");
}

// What Icecast tells of each mount: its name and, from its stated rate,
// the label. Icecast lists icy-br twice (from ice-bitrate and from
// ice-audio-info), and each entry sets the label.
struct MountCase {
  const char* name;
  const char* mount;
  const char* station;
  const char* label;
};

void PrintTo(const MountCase& c, std::ostream* os) { *os << c.mount; }

const MountCase kMountCases[] = {
    {"Mp3", "/tone.mp3", "Yerel Deneme MP3", "128 kbps mp3"},
    {"Aac", "/tone.aac", "Yerel Deneme AAC", "128 kbps aac"},
    {"Ogg", "/tone.ogg", "Yerel Deneme Ogg", "128 kbps ogg"},
};

class PlayerMounts : public PlayerTags, public testing::WithParamInterface<MountCase> {};

TEST_P(PlayerMounts, StationLineAndLabel) {
  const MountCase& c = GetParam();
  openPlaylist(gStation->url(c.mount), nullptr);
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s)) << testing::PrintToString(lines.station);
  EXPECT_EQ(lines.station.back(), c.station);
  ASSERT_FALSE(lines.kbps.empty());
  EXPECT_EQ(std::count(lines.kbps.begin(), lines.kbps.end(), c.label), std::ssize(lines.kbps))
      << testing::PrintToString(lines.kbps);
}

INSTANTIATE_TEST_SUITE_P(Icecast, PlayerMounts, testing::ValuesIn(kMountCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerTags, IcecastTitleChangeInCodePage) {
  openPlaylist(gStation->url("/tone.mp3"), nullptr);
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s)) << testing::PrintToString(lines.station);
  // Set once playing: a listener who connects right after a change first
  // gets the burst, which still carries the old title.
  ASSERT_TRUE(gStation->setTitle("/tone.mp3", "\xC3\x87" "alan \xC5\x9E" "ark\xC4\xB1 \xC4\x9F\xC3\xBC\xC4\xB0\xC4\xB1"));
  const std::string want = "\xC7" "alan \xDE" "ark\xFD \xF0\xFC\xDD\xFD";  // Çalan Şarkı ğüİı
  EXPECT_TRUE(spinUntil([&] { return lines.titleLine() == want; }, 20s)) << testing::PrintToString(lines.title);
  EXPECT_EQ(state().currentTitle, want);
}

// The title of a chained Ogg stream's link is in its comments, which the
// title line does not show: Icecast answers over HTTP, and the station name
// and label come from that list, while a link change only reads the ICY
// block, which an Ogg stream does not have.
TEST_F(PlayerTags, IcecastOggLinkChangeKeepsTheTitleLine) {
  openPlaylist(gStation->url("/tone.ogg"), nullptr);
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s)) << testing::PrintToString(lines.station);
  // Set behind the player's own syncs, which the engine calls in the
  // order they were set: once a new link is seen here, the player's sync
  // for it has returned, and with it anything it sent the window.
  ASSERT_NE(BASS_ChannelSetSync(state().channel, BASS_SYNC_OGG_CHANGE, 0, &LinkTitles::sync, &links), 0u);
  // Both links heard: at least one change from one to the other.
  ASSERT_TRUE(spinUntil([&] { return links.heardAll({"Par\xC3\xA7" "a Bir", "Par\xC3\xA7" "a \xC4\xB0ki"}); }, 30s));
  EXPECT_EQ(lines.title, std::vector<std::string>{std::string(station::kSlogan)});
  EXPECT_EQ(state().currentTitle, "");
}

}  // namespace
}  // namespace ornivox

int main(int argc, char** argv) { return ornivox::playertest::RunHeadless(argc, argv); }
