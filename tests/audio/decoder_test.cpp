// The decoder on whole files fed through the network buffer, without a
// device: what it hands to playback first.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "audio/bass.h"
#include "audio/decoder.h"
#include "support/media.h"

using namespace ornivox::audio;

namespace {

struct Decoded {
  int result = -1;
  bool ready = false;
  std::vector<std::int16_t> first;  // the first frames handed to playback
};

// Feeds the file into a ring as a download would and decodes the first `frames`.
Decoded decodeStart(const std::string& name, std::size_t frames) {
  std::ifstream in(ornivox::testsupport::mediaFile(name), std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  ByteRing ring(bytes.size() + 1);
  EXPECT_EQ(ring.write(bytes.data(), bytes.size()), bytes.size());
  ring.finish();

  PcmQueue pcm(frames);
  std::atomic<bool> abort{false};
  std::atomic<std::uint64_t> read{0};
  Decoded d;
  DecoderEvents events;
  events.ready = [&](const DecodedFormat&) { d.ready = true; };
  DecoderInput input;
  input.ring = &ring;
  input.formatHint = "mp3";
  std::thread decoding([&] { d.result = runDecoder(input, 44100, pcm, abort, events, read); });
  d.first.resize(frames * PcmQueue::kChannels);
  std::size_t got = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (got < frames && std::chrono::steady_clock::now() < end) {
    got += pcm.pop(d.first.data() + got * PcmQueue::kChannels, frames - got);
    std::this_thread::yield();
  }
  d.first.resize(got * PcmQueue::kChannels);
  abort = true;
  ring.abort();
  pcm.close();
  decoding.join();
  return d;
}

bool allZero(const std::vector<std::int16_t>& pcm, std::size_t frames) {
  for (std::size_t i = 0; i < frames * PcmQueue::kChannels && i < pcm.size(); ++i)
    if (pcm[i] != 0) return false;
  return true;
}

}  // namespace

TEST(Decoder, LeadingDigitalSilenceIsSkippedSoTheSoundStartsAtOnce) {
  const Decoded d = decodeStart("lead_silence.mp3", 4096);
  EXPECT_TRUE(d.ready);
  ASSERT_EQ(d.first.size(), 4096u * PcmQueue::kChannels);
  // Without the skip, the first tenth of a second (4410 frames) would be zeros.
  EXPECT_FALSE(allZero(d.first, 1152)) << "the first frame handed over is silent";
}

TEST(Decoder, AStationThatSendsSilenceStillStarts) {
  const Decoded d = decodeStart("silence.mp3", 4096);
  EXPECT_TRUE(d.ready);
  ASSERT_EQ(d.first.size(), 4096u * PcmQueue::kChannels);
  EXPECT_TRUE(allZero(d.first, 4096));
}
