#include "audio/engine_env.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/disk_recording.h"
#include "support/hang_guard.h"

namespace ornivox::enginetest {

namespace {
std::string gDiskFile;
std::unique_ptr<ornivox::testsupport::IcecastStation> gStation;

int countEntries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n - 2;
}
}  // namespace

void EngineEnvironment::SetUp() {
  gDiskFile = (std::filesystem::temp_directory_path() / ("ornivox-engine-" + std::to_string(getpid()) + ".raw")).string();
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", gDiskFile.c_str(), 1);
  initEngine();
}

void EngineEnvironment::TearDown() {
  BASS_Free();
  gStation.reset();
  if (!std::getenv("ORNIVOX_KEEP_RECORDING")) std::filesystem::remove(gDiskFile);
}

void EngineEnvironment::initEngine() {
  ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr)) << BASS_ErrorGetCode();
  BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, 1);
  BASS_SetConfig(BASS_CONFIG_BUFFER, 500);
  BASS_SetConfig(BASS_CONFIG_NET_BUFFER, 2000);
  BASS_SetConfig(BASS_CONFIG_NET_PREBUF, 100);
  BASS_SetConfig(BASS_CONFIG_NET_TIMEOUT, kTestTimeoutMs);
  BASS_SetConfig(BASS_CONFIG_UPDATETHREADS, 4);
  BASS_SetConfigPtr(BASS_CONFIG_NET_AGENT, "LODOSFIL");
}

ornivox::testsupport::IcecastStation& EngineEnvironment::station() {
  if (!gStation) gStation = ornivox::testsupport::IcecastStation::start();
  return *gStation;
}

std::string EngineEnvironment::diskFile() { return gDiskFile; }

std::uintmax_t EngineEnvironment::recordedBytes() { return ornivox::testsupport::DiskRecording(gDiskFile).bytes(); }

std::vector<std::int16_t> EngineEnvironment::recorded(std::uintmax_t from, std::size_t frames,
                                                      std::chrono::milliseconds limit) {
  const std::uintmax_t want = from - from % 4 + frames * 4;
  waitUntil([&] { return recordedBytes() >= want; }, limit);
  return ornivox::testsupport::DiskRecording(gDiskFile).read(from, frames);
}

int threadCount() { return countEntries("/proc/self/task"); }
int openDescriptors() { return countEntries("/proc/self/fd"); }

long residentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

}  // namespace ornivox::enginetest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ornivox::testsupport::InstallHangGuard();
  ::testing::AddGlobalTestEnvironment(new ornivox::enginetest::EngineEnvironment);
  return RUN_ALL_TESTS();
}
