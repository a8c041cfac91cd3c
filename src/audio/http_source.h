// Downloads one network answer on a thread of its own (libcurl), keeps its
// header lines, cuts ICY metadata out of the body and writes the audio bytes
// into the network buffer, waiting while the buffer is full.
//
// Threads: the constructor starts the download thread; every other member
// may be called from any thread. The meta sink runs on the download thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/byte_ring.h"
#include "audio/header_lines.h"
#include "audio/icy_splitter.h"

namespace ornivox::audio {

struct HttpOptions {
  std::string url;
  std::string agent;
  std::uint32_t timeoutMs = 5000;  // connect, and the longest wait for data
  std::uint32_t bufferMs = 5000;   // network buffer, in ms of the stream's bit rate
  bool wantIcyMeta = true;         // ask for in-stream metadata
};

class HttpSource {
 public:
  using Clock = std::chrono::steady_clock;

  HttpSource(HttpOptions options, IcySplitter::MetaSink meta);
  ~HttpSource();  // aborts and joins
  HttpSource(const HttpSource&) = delete;
  HttpSource& operator=(const HttpSource&) = delete;

  // Waits for the final answer (after redirects): its headers and first body
  // bytes, or its end. Returns BASS_OK or an error code; on BASS_ERROR_TIMEOUT
  // the download goes on until abort().
  int waitForAnswer(Clock::time_point deadline);

  // Valid once waitForAnswer returned BASS_OK.
  const ResponseHeaders& headers() const { return headers_; }
  const std::string& effectiveUrl() const { return effectiveUrl_; }
  ByteRing& ring() { return *ring_; }
  // The network buffer's size: the content length for a finite answer that fits.
  std::uint64_t endPosition() const { return endPosition_; }

  // Waits until `bytes` are buffered, the answer ended or `deadline`.
  void waitForFill(std::size_t bytes, Clock::time_point deadline);
  // A copy of the first buffered bytes, without taking them.
  std::string peek(std::size_t bytes);

  void abort();

 private:
  void run();
  std::size_t onHeader(const char* data, std::size_t size);
  std::size_t onBody(const char* data, std::size_t size);
  void startBody();
  void storeAudio(const std::uint8_t* data, std::size_t size);
  void drainPending();
  void signalAnswer(int error);
  void notifyChanged();  // wakes waitForAnswer() and waitForFill()
  void wake();

  HttpOptions options_;
  IcySplitter::MetaSink meta_;

  // Download thread only, until the answer is signalled; read-only afterwards.
  ResponseHeaders headers_;
  std::string effectiveUrl_;
  std::unique_ptr<ByteRing> ring_;
  std::uint64_t endPosition_ = 0;

  // Download thread only.
  std::unique_ptr<IcySplitter> splitter_;
  std::vector<std::uint8_t> pending_;  // audio that did not fit into the ring
  bool curlPaused_ = false;
  Clock::time_point lastData_;
  std::vector<std::string> partialHeaders_;

  std::atomic<bool> wantWake_{false};
  std::atomic<bool> aborted_{false};

  std::mutex mutex_;  // guards answered_, answerError_ and the fill wait
  std::condition_variable changed_;
  bool answered_ = false;
  int answerError_ = 0;

  void* multi_ = nullptr;  // CURLM*, alive until the destructor so wake() is always safe
  void* easy_ = nullptr;   // CURL*
  void* extraHeaders_ = nullptr;  // curl_slist*
  void* aliases_ = nullptr;       // curl_slist*
  std::thread thread_;
};

}  // namespace ornivox::audio
