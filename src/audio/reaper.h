// Joins the threads of freed streams away from the caller, so that freeing
// never waits for a stream's thread (which may be inside a callback that
// waits for the very thread that frees).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace ornivox::audio {

class Stream;

class Reaper {
 public:
  ~Reaper();
  void start();
  void add(std::shared_ptr<Stream> stream);  // the stream must be stopped already
  // Waits until every stream handed over is joined (a callback in progress
  // has returned), then ends the reaper's thread.
  void finish();

 private:
  void run();

  std::mutex mutex_;  // guards queue_, busy_, stopping_
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Stream>> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace ornivox::audio
