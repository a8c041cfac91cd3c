// Opening a station, the connection threads, the status handler, transport,
// the reconnect watchdog, volume, mute, level meters and the now-playing
// line. The player owns the state its window, its connection threads and
// the engine's callbacks share (PlayerState).
//
// The program's threads, what each may touch, and the order of their locks:
// - UI thread: the windows, their timers and handlers, every public function
//   here but sendStatus, and PlayerState, which nobody else reads or writes.
// - Connection threads, one per (re)connection (ConnectionThread): the
//   engine's calls on the stream they create, generation_ (read), and
//   PlayerState and the window only inside a blocking UI call
//   (player/ui_calls.h) that checks their generation first.
// - The engine's threads (audio/bass.h): each stream's download, decode and
//   sync threads, the device thread and the reaper. Of ours, only the sync
//   threads run code: the title callbacks (player/stream_tags.h), which
//   reach the window like a connection thread does, through the tag relay.
// - The mail worker of the e-mail window (ui/requests/istek.h): its copy of
//   the request, and the window only through a queued call.
// Locks, in the order they may be taken: the engine's own (below bass.h;
// taken and let go inside each engine call), then UiCalls' and the tag
// relay's, which are never held while calling out. No thread holds a lock
// while it waits for the UI thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "player/player_state.h"
#include "player/player_view.h"
#include "player/status.h"
#include "player/ui_calls.h"

namespace ornivox {

namespace desktop {
class MessengerLink;
}
class TagRelay;

class Player {
 public:
  // UI thread, with the application object in place.
  Player();
  explicit Player(PlayerView& view);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // The window the player drives; set before the first station is opened,
  // cleared (nullptr) by a window that goes away first.
  void setView(PlayerView* view) { view_ = view; }

  // The shared state (UI thread only).
  PlayerState& state() { return state_; }
  const PlayerState& state() const { return state_; }

  // Throws what Readini or a playlist resolver throws (a file that exists
  // but cannot be read). The station's name and address have been cleared
  // by then when `source` names a playlist; nothing else has been done.
  void OpenStation(const std::string& source);

  // Play (the listener's, or a desktop's on their behalf) also arms the quick
  // recovery below; stop disarms it: no reconnection of any kind until play.
  void btnPlayClick();
  void btnDurClick();
  void TimerKontrolTimer();
  void sndBarPropertiesChange(int position);
  void btnSesAcikClick();   // mute
  void btnSesKapaliClick(); // unmute
  // The meters; the same tick paces the quick recovery: when a stream that
  // played has ended (or its reconnection failed) and no connection is being
  // made, the player connects again at once, then after waits of 1, 2, 4
  // and 8 s; after that the watchdog's period is the only pace left. A
  // station that never played is left to the watchdog.
  void tLevelTimer();
  // The volume bar to the device's volume, in whole per cent.
  void setVolumeBarFromDevice();

  // The messenger's now-playing line for the current stream: the playing
  // form while the channel plays and `show` is set, the cleared form
  // otherwise. A `stationName` shorter than 3 characters is replaced by the
  // window's station line.
  void SendNowPlaying(std::string_view stationName, std::string_view title, std::string_view link, bool show);

  // Any thread: hands a status to the UI thread and waits until it is
  // handled. False when it was dropped: a replaced connection, or closing.
  bool sendStatus(std::uint64_t generation, int code, StatusParam param);

  // The window is closing: every connection counts as replaced and no
  // blocking call waits any more. Call before the engine is released.
  void close();
  // After the engine is released (its connects then fail at once): joins
  // the connection threads.
  void joinConnections();

  // The generation of the newest connection (0 before the first).
  std::uint64_t generation() const { return generation_.load(); }
  // Connection threads still running.
  std::size_t activeConnections() const;

 private:
  PlayerView& view();
  void restart();
  void recoverIfDropped();
  void startConnection();
  void ConnectionThread(std::string url, std::uint64_t generation);
  void handleStatus(std::uint64_t generation, int code, const StatusParam& param);
  void reapFinished();

  PlayerState state_;        // UI thread only
  PlayerView* view_ = nullptr;  // UI thread only
  UiCalls ui_;
  // Where the streams' tag texts go; outlives every stream the player opens
  // (the engine is released before the player is destroyed).
  std::unique_ptr<TagRelay> tags_;
  // The now-playing line's way to the desktop's messenger.
  std::unique_ptr<desktop::MessengerLink> messenger_;

  // The quick recovery (UI thread only): armed from play to stop, and acting
  // once the stream was heard; `step` indexes the waits, counted from when
  // the stream was found dropped (`droppedAt`, unset while it plays or a
  // connection is being made).
  struct Recovery {
    bool armed = false;
    bool heard = false;
    std::size_t step = 0;
    std::optional<std::chrono::steady_clock::time_point> droppedAt;
  };
  Recovery recovery_;

  // Written on the UI thread only; read by connection threads to leave early.
  std::atomic<std::uint64_t> generation_{0};

  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::vector<Worker> workers_;  // UI thread only
};

// Rounds to the nearest whole number, halves to the even one.
int RoundHalfEven(double value);

}  // namespace ornivox
