// The program's single-instance lock: an exclusive flock on
// <runtimeDirectory()>/<name>.lock. The kernel drops it when the holder's
// last descriptor closes, so a crashed or SIGKILLed player never leaves it
// taken; the descriptor is close-on-exec, so programs the player starts do
// not inherit it.
//
// Start-up rule built on it: a start that finds the lock heldElsewhere()
// and has an argument hands the argument over (hand_over.h) and exits;
// every other start becomes a player. A player listens for hand-overs
// (handover_server.h) and passes replaceStale = held().
//
// Threads: acquire() from any thread, before or without a QCoreApplication.
// Keep the returned object alive for as long as the process is a player
// (in main()): destroying it releases the lock.
#pragma once

#include <QString>

namespace ornivox::desktop {

class InstanceLock {
 public:
  enum class State {
    Held,           // this process is the first instance
    HeldElsewhere,  // another live process holds it
    Unavailable,    // no lock file could be made; treated as the first instance
  };

  static InstanceLock acquire(const QString& name);

  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  State state() const { return state_; }
  bool held() const { return state_ == State::Held; }
  // The only state in which a start may hand its argument over instead of
  // becoming a player.
  bool heldElsewhere() const { return state_ == State::HeldElsewhere; }
  // Why the lock is Unavailable; empty otherwise.
  const QString& errorString() const { return error_; }

 private:
  InstanceLock(State state, int fd, QString error);

  State state_;
  int fd_;
  QString error_;
};

}  // namespace ornivox::desktop
