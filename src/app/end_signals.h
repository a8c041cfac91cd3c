// The end of a session, or a listener's kill, asks the player to stop with
// SIGTERM (SIGHUP when its terminal goes, SIGINT from a terminal's Ctrl-C).
// It then ends as if its close button had been pressed: the now-playing
// record is cleared and the streams and the sound device are let go,
// instead of dying in the middle of them.
//
// Threads: made and destroyed on the UI thread, before and after its event
// loop; `end` runs there.
#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace ornivox::app {

class EndSignals {
 public:
  // Calls `end` at the first of the signals. A second one, while ending
  // takes its time, ends the process the signal's own way.
  explicit EndSignals(std::function<void()> end);
  ~EndSignals();
  EndSignals(const EndSignals&) = delete;
  EndSignals& operator=(const EndSignals&) = delete;

 private:
  int fds_[2] = {-1, -1};  // the handler writes to [1], the event loop reads [0]
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void()> end_;
};

}  // namespace ornivox::app
