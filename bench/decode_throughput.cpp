// ornivox-decode-bench FILE [REPEAT]: decodes a whole MP3 file through the
// engine's own decoder path (ByteRing -> runDecoder -> PcmQueue, 16-bit stereo
// at 44100 Hz, as ornivox-play opens the device) as fast as it will go, and
// prints one JSON line with the seconds of audio made per second of wall time.
//
// REPEAT copies of the file go into the ring back to back, which is still one
// valid MP3 stream, like a station's: a minute of audio decodes in a few tens
// of milliseconds, too short to time well on its own. The bytes are in the
// ring before the clock starts, so the figure is about demuxing, decoding and
// resampling, not about reading the disk. A consumer thread drains the queue
// the way the device callback would, only unpaced; the queue has the size
// ornivox-play gives it, so the decoder waits on it as it does while playing.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "audio/bass.h"
#include "audio/byte_ring.h"
#include "audio/decoder.h"
#include "audio/pcm_queue.h"

namespace {

constexpr int kRate = 44100;                    // ornivox-play's BASS_Init rate
constexpr std::size_t kPlaybackBufferMs = 500;  // ornivox-play's BASS_CONFIG_BUFFER
constexpr std::size_t kPopFrames = 4096;

// All threads of the process; microseconds on glibc.
double processCpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  using namespace ornivox::audio;
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: ornivox-decode-bench FILE [REPEAT]\n");
    return 2;
  }
  const int repeat = argc > 2 ? std::atoi(argv[2]) : 1;
  if (repeat < 1 || repeat > 1000) {
    std::fprintf(stderr, "REPEAT must be 1..1000\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  if (file.empty()) {
    std::fprintf(stderr, "empty or missing file: %s\n", argv[1]);
    return 1;
  }

  ByteRing ring(file.size() * static_cast<std::size_t>(repeat));
  for (int i = 0; i < repeat; ++i) {
    if (ring.write(file.data(), file.size()) != file.size()) {
      std::fprintf(stderr, "ring refused part of the file\n");
      return 1;
    }
  }
  ring.finish();

  PcmQueue queue(static_cast<std::size_t>(kRate) * kPlaybackBufferMs / 1000);
  std::atomic<bool> abort{false};
  std::atomic<bool> decoderDone{false};
  std::atomic<std::uint64_t> bytesRead{0};
  DecoderInput input;
  input.ring = &ring;
  input.formatHint = demuxerForContentType("audio/mpeg");  // what a station's MP3 answer gets

  std::uint64_t frames = 0;
  // The sum of every sample: lets the driver check that these are the samples
  // ffmpeg makes of the same file, and keeps the copies observable.
  std::int64_t sampleSum = 0;
  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = processCpuSeconds();
  std::thread consumer([&] {
    std::vector<std::int16_t> block(kPopFrames * PcmQueue::kChannels);
    while (true) {
      const bool done = decoderDone.load(std::memory_order_acquire);
      const std::size_t n = queue.pop(block.data(), kPopFrames);
      frames += n;
      for (std::size_t i = 0; i < n * PcmQueue::kChannels; ++i) sampleSum += block[i];
      if (n == 0) {
        if (done) break;  // checked before the pop: nothing can have come in between
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
  });
  const int result = runDecoder(input, kRate, queue, abort, DecoderEvents{}, bytesRead);
  decoderDone.store(true, std::memory_order_release);
  consumer.join();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  const double cpu = processCpuSeconds() - cpuStart;

  if (result != BASS_OK || frames == 0) {
    std::fprintf(stderr, "decoding failed: error %d after %llu frames\n", result,
                 static_cast<unsigned long long>(frames));
    return 1;
  }
  const double audioSeconds = static_cast<double>(frames) / kRate;
  std::printf(
      "{\"audio_seconds\": %.6f, \"wall_seconds\": %.6f, \"cpu_seconds\": %.6f, \"speed\": %.3f, "
      "\"frames\": %llu, \"bytes\": %llu, \"sample_sum\": %lld}\n",
      audioSeconds, wall, cpu, audioSeconds / wall, static_cast<unsigned long long>(frames),
      static_cast<unsigned long long>(bytesRead.load()), static_cast<long long>(sampleSum));
  return 0;
}
