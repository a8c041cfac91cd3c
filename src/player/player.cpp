#include "player/player.h"

#include <cassert>
#include <cfenv>
#include <chrono>
#include <cmath>
#include <iterator>

#include "desktop/now_playing.h"
#include "metadata/tag_text.h"
#include "player/buffering.h"
#include "player/stream_tags.h"
#include "player/tag_relay.h"
#include "player/texts.h"
#include "playlist/resolvers.h"
#include "settings/settings.h"
#include "station/identity.h"

namespace ornivox {
namespace {

constexpr DWORD kStreamFlags = BASS_STREAM_STATUS | BASS_STREAM_BLOCK | BASS_STREAM_AUTOFREE;
constexpr std::uint32_t kEnoughBuffered = 75;
// Between buffering rounds: often enough for a smooth count, seldom enough
// not to spin a core and the X server while the buffer fills.
constexpr auto kBufferingRound = std::chrono::milliseconds(10);

std::string str(std::string_view v) { return std::string(v); }

}  // namespace

int RoundHalfEven(double value) {
  // nearbyint follows the current rounding mode, which is to-nearest-even
  // unless someone changed it; say so explicitly.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double r = std::nearbyint(value);
  std::fesetround(saved);
  return static_cast<int>(r);
}

Player::Player(PlayerView& view) : Player() { view_ = &view; }

Player::Player() : messenger_(std::make_unique<desktop::MessengerLink>()) {
  auto sendText = [this](int code) {
    return [this, code](std::uint64_t generation, std::string_view text) {
      sendStatus(generation, code, StatusParam{0, std::string(text)});
    };
  };
  tags_ = std::make_unique<TagRelay>(TagRelay::Sinks{
      sendText(PS_STATION), sendText(PS_TITLE), [this](std::uint64_t generation, std::string_view text) {
        ui_.call([&] {
          if (generation == generation_.load()) view().setKbpsLabel(std::string(text));
        });
      }});
}

Player::~Player() {
  close();
  joinConnections();
}

PlayerView& Player::view() {
  assert(view_ != nullptr && "a window must be set before the player runs");
  return *view_;
}

void Player::OpenStation(const std::string& source) {
  if (!source.empty()) {
    state_.stationName.clear();
    state_.playlistUrl.clear();
    const std::string ext = PlaylistExtension(source);
    if (ext == ".pls")
      ResolvePls(source, state_.stationName, state_.playlistUrl);
    else if (ext == ".asx")
      ResolveAsx(source, state_.stationName, state_.playlistUrl);
    else if (ext == ".m3u")
      ResolveM3u(source, state_.stationName, state_.playlistUrl);
    // Most playlists are written in UTF-8 today; the window shows the code
    // page, as it does for the stream's own tags.
    state_.stationName = TagTextForDisplay(state_.stationName);
  } else {
    Readini({state_.stationName, state_.playlistUrl, state_.homePage});
    if (state_.homePage.empty()) state_.homePage = str(station::kHomePage);
    if (state_.stationName.empty()) state_.stationName = str(station::kBrand);
    if (state_.playlistUrl.empty()) state_.playlistUrl = str(station::kPlaylistUrl);
    view().setStationLine(state_.stationName);
    view().setTitleLine(str(station::kSlogan));
  }
  BASS_Stop();
  BASS_StreamFree(state_.channel);
  startConnection();
  BASS_Start();
  setVolumeBarFromDevice();
  recovery_ = Recovery{true, false, 0, std::nullopt};
}

void Player::btnPlayClick() {
  recovery_ = Recovery{true, false, 0, std::nullopt};
  restart();
}

void Player::restart() {
  BASS_Stop();
  startConnection();
  BASS_Start();
  setVolumeBarFromDevice();
  view().setWatchdogEnabled(true);
}

void Player::btnDurClick() {
  recovery_ = Recovery{};
  view().setWatchdogEnabled(false);
  BASS_Stop();
}

namespace {

// How long the quick recovery waits before each attempt after a drop: at
// once, then ever longer, so a server that is down is not hammered.
constexpr std::chrono::seconds kRecoveryWaits[] = {std::chrono::seconds(0), std::chrono::seconds(1),
                                                   std::chrono::seconds(2), std::chrono::seconds(4),
                                                   std::chrono::seconds(8)};

}  // namespace

void Player::recoverIfDropped() {
  if (!recovery_.armed) return;
  const DWORD active = BASS_ChannelIsActive(state_.channel);
  if (active == BASS_ACTIVE_PLAYING || active == BASS_ACTIVE_STALLED || activeConnections() > 0) {
    // Sound again: the next drop is answered at once.
    if (active == BASS_ACTIVE_PLAYING) {
      recovery_.heard = true;
      recovery_.step = 0;
    }
    recovery_.droppedAt.reset();
    return;
  }
  if (!recovery_.heard) return;
  if (recovery_.step >= std::size(kRecoveryWaits)) return;  // the watchdog's turn
  const auto now = std::chrono::steady_clock::now();
  if (!recovery_.droppedAt) recovery_.droppedAt = now;
  if (now - *recovery_.droppedAt < kRecoveryWaits[recovery_.step]) return;
  ++recovery_.step;
  recovery_.droppedAt.reset();
  restart();
}

void Player::TimerKontrolTimer() {
  const std::string title = view().titleLine();
  if (state_.messengerToggle) {
    SendNowPlaying(station::kBrand, title, station::kMakerAddress, true);
    state_.messengerToggle = false;
    state_.messengerSuffix = str(station::kHomePage);
  } else {
    SendNowPlaying(station::kBrand, title, station::kHomePage, true);
    state_.messengerToggle = true;
    state_.messengerSuffix = str(station::kMakerAddress);
  }
  if (BASS_ChannelIsActive(state_.channel) != BASS_ACTIVE_PLAYING) {
    view().setStationLine(str(texts::kNoService));
    view().repaintStationLine();
    // Not the listener's play: the quick recovery keeps its place.
    restart();
  }
}

void Player::sndBarPropertiesChange(int position) { BASS_SetVolume(static_cast<float>(position / 100.0)); }

void Player::btnSesAcikClick() {
  view().showMuted(true);
  BASS_SetVolume(0);
}

void Player::btnSesKapaliClick() {
  view().showMuted(false);
  BASS_SetVolume(static_cast<float>(view().volumeBar() / 100.0));
}

void Player::tLevelTimer() {
  int left = 0, right = 0;
  if (BASS_ChannelIsActive(state_.channel) == BASS_ACTIVE_PLAYING) {
    const DWORD level = BASS_ChannelGetLevel(state_.channel);
    if (level != BASS_LEVEL_FAIL) {
      left = static_cast<int>(level & 0xFFFF);
      right = static_cast<int>(level >> 16);
    }
  }
  view().setLevels(left, right);
  recoverIfDropped();
}

void Player::setVolumeBarFromDevice() {
  view().setVolumeBar(RoundHalfEven(static_cast<double>(BASS_GetVolume()) * 100.0));
}

void Player::SendNowPlaying(std::string_view stationName, std::string_view title, std::string_view link, bool show) {
  const bool playing = BASS_ChannelIsActive(state_.channel) == BASS_ACTIVE_PLAYING;
  const std::string stationLine = stationName.size() < 3 ? view().stationLine() : std::string();
  desktop::SendNowPlaying(*messenger_, {stationName, title, link, show, playing, stationLine, station::kSlogan});
}

bool Player::sendStatus(std::uint64_t generation, int code, StatusParam param) {
  if (generation != generation_.load()) return false;
  bool handled = false;
  ui_.call([&] {
    if (generation != generation_.load()) return;
    handleStatus(generation, code, param);
    handled = true;
  });
  return handled;
}

void Player::handleStatus(std::uint64_t, int code, const StatusParam& param) {
  StatusEffect effect = ApplyPlayerStatus(state_, code, param);
  if (effect.titleLine) view().setTitleLine(*effect.titleLine);
  if (effect.stationLine) view().setStationLine(*effect.stationLine);
  if (effect.repaintStationLine) view().repaintStationLine();
  if (effect.nowPlaying) SendNowPlaying(station::kBrand, effect.nowPlaying->title, effect.nowPlaying->suffix, true);
}

void Player::startConnection() {
  reapFinished();
  const std::uint64_t generation = generation_.fetch_add(1) + 1;
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([this, url = state_.playlistUrl, generation, finished] {
    ConnectionThread(url, generation);
    finished->store(true);
  });
  workers_.push_back(Worker{std::move(thread), std::move(finished)});
}

void Player::reapFinished() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->finished->load()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

std::size_t Player::activeConnections() const {
  std::size_t n = 0;
  for (const Worker& w : workers_) n += w.finished->load() ? 0 : 1;
  return n;
}

void Player::close() {
  generation_.fetch_add(1);
  ui_.close();
}

void Player::joinConnections() {
  for (Worker& w : workers_) w.thread.join();
  workers_.clear();
}

void Player::ConnectionThread(std::string url, std::uint64_t generation) {
  auto current = [&] { return generation == generation_.load(); };

  bool started = false;
  ui_.call([&] {
    if (!current()) return;
    state_.streamUrl = url;
    BASS_StreamFree(state_.channel);
    handleStatus(generation, PS_CONNECTING, {});
    started = true;
  });
  if (!started) return;

  const HSTREAM stream = BASS_StreamCreateURL(url.c_str(), 0, kStreamFlags, nullptr, nullptr);
  if (stream == 0) {
    sendStatus(generation, PS_NO_SERVICE, {});
    return;
  }
  const bool isWma = BASS_ChannelGetTags(stream, BASS_TAG_WMA) != nullptr;
  bool adopted = false;
  ui_.call([&] {
    if (!current()) return;
    state_.channel = stream;
    state_.isWma = isWma;
    tags_->adopt(stream, generation, isWma);
    adopted = true;
  });
  if (!adopted) {
    // Replaced while connecting: nobody else knows this stream.
    BASS_StreamFree(stream);
    return;
  }

  // From here the stream is the shared channel: whoever replaces this
  // connection frees it, and every call below on a freed stream fails.
  for (;;) {
    QWORD end = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END);
    if (end == BASS_POSITION_FAIL) break;
    std::uint32_t progress;
    if (isWma) {
      progress = static_cast<std::uint32_t>(BASS_StreamGetFilePosition(stream, BASS_FILEPOS_WMA_BUFFER));
    } else {
      end = BASS_StreamGetFilePosition(stream, BASS_FILEPOS_END);
      progress = BufferedPercent(end, BASS_StreamGetFilePosition(stream, BASS_FILEPOS_DOWNLOAD),
                                 BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CURRENT));
    }
    if (!sendStatus(generation, PS_BUFFERING, {static_cast<std::int64_t>(progress), {}})) return;
    // A connection that ended early never fills the buffer: what came is
    // played, and its end starts the quick recovery instead of the watchdog.
    if (progress > kEnoughBuffered || BASS_StreamGetFilePosition(stream, BASS_FILEPOS_CONNECTED) == 0) break;
    std::this_thread::sleep_for(kBufferingRound);
  }

  ReadHeaderTags(*tags_, stream, generation, isWma);

  ui_.call([&] {
    if (!current()) return;
    if (state_.homePage.empty()) state_.homePage = str(station::kPlaylistUrl);
    if (state_.stationName.empty()) state_.stationName = state_.homePage;
    view().setStationLine(state_.stationName);
    BASS_ChannelPlay(state_.channel, FALSE);
  });
}

}  // namespace ornivox
