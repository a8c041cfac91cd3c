// Opening a station, the connection threads, the status handler, transport,
// the reconnect watchdog, volume, mute and level meters.
//
// Threads: every public function but sendStatus runs on the UI thread (the
// window's handlers). ConnectionThread runs on a thread of its own, one per
// (re)connection; the engine's callbacks run on engine threads. Both reach
// the window only through sendStatus and the other blocking UI calls.
//
// Connections: each start stamps a new generation. Only the connection of the
// current generation may write PlayerState (always on the UI thread, inside a
// blocking UI call); an older one that finds itself replaced frees the stream
// it created and ends, and whatever it or its stream's callbacks still send
// is dropped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/player_state.h"
#include "player/player_view.h"
#include "player/status.h"
#include "player/ui_calls.h"

namespace ornivox {

class TagRelay;

class Player {
 public:
  Player(PlayerState& state, PlayerView& view);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // Throws what Readini or a playlist resolver throws (a file that exists
  // but cannot be read); then nothing else has been done.
  void OpenStation(const std::string& source);

  void btnPlayClick();
  void btnDurClick();
  void TimerKontrolTimer();
  void sndBarPropertiesChange(int position);
  void btnSesAcikClick();   // mute
  void btnSesKapaliClick(); // unmute
  void tLevelTimer();
  // The volume bar to the device's volume, in whole per cent.
  void setVolumeBarFromDevice();

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
  void startConnection();
  void ConnectionThread(std::string url, std::uint64_t generation);
  void handleStatus(std::uint64_t generation, int code, const StatusParam& param);
  void reapFinished();

  PlayerState& state_;
  PlayerView& view_;
  UiCalls ui_;
  // Where the streams' tag texts go; outlives every stream the player opens
  // (the engine is released before the player is destroyed).
  std::unique_ptr<TagRelay> tags_;

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
