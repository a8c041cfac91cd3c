// What the engine tests share: one engine per test process, opened on SDL's
// disk driver so that everything that would be heard lands in a file, and
// the local stations.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/bass.h"
#include "support/icecast_station.h"
#include "support/scripted_server.h"

namespace ornivox::enginetest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Polls `ready` until it holds or `limit` passes.
template <typename F>
bool waitUntil(F ready, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!ready()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

class EngineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;

  static std::string diskFile();
  // Bytes the device has written so far (16-bit stereo frames at 44100 Hz).
  static std::uintmax_t recordedBytes();
  // `frames` frames recorded from byte `from` on, waiting for them up to `limit`.
  static std::vector<std::int16_t> recorded(std::uintmax_t from, std::size_t frames, std::chrono::milliseconds limit);
  // Opens the engine with the player's settings and a short network time-out.
  static void initEngine();
  static ornivox::testsupport::IcecastStation& station();
};

// Frees whatever a test left behind.
class EngineTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (HSTREAM h : streams_) BASS_StreamFree(h);
    BASS_Start();
    BASS_SetVolume(1.0f);
  }
  HSTREAM open(const std::string& url) {
    const HSTREAM h = BASS_StreamCreateURL(url.c_str(), 0, 0x940000, nullptr, nullptr);
    if (h) streams_.push_back(h);
    return h;
  }
  std::vector<HSTREAM> streams_;
};

inline constexpr DWORD kTestTimeoutMs = 3000;

// The entries of a tag list ("a\0b\0\0"); none for a missing tag.
inline std::vector<std::string> tagList(const char* list) {
  std::vector<std::string> out;
  for (const char* p = list; p && *p; p += std::strlen(p) + 1) out.emplace_back(p);
  return out;
}
inline constexpr int kRate = 44100;

int threadCount();
int openDescriptors();
long residentKb();

}  // namespace ornivox::enginetest
