// The two buffers between engine threads, under a real producer and consumer.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "audio/byte_ring.h"
#include "audio/pcm_queue.h"

using namespace ornivox::audio;

TEST(ByteRing, KeepsOrderAcrossWrapAroundAndEnds) {
  ByteRing ring(1000);
  constexpr std::size_t kTotal = 200000;
  std::thread writer([&] {
    std::vector<std::uint8_t> chunk;
    std::size_t sent = 0;
    while (sent < kTotal) {
      chunk.clear();
      for (std::size_t i = 0; i < 333 && sent + i < kTotal; ++i) chunk.push_back(static_cast<std::uint8_t>((sent + i) % 251));
      std::size_t off = 0;
      while (off < chunk.size()) {
        const std::size_t n = ring.write(chunk.data() + off, chunk.size() - off);
        if (n == 0) std::this_thread::yield();
        off += n;
      }
      sent += chunk.size();
    }
    ring.finish();
  });
  std::size_t got = 0;
  bool inOrder = true;
  std::uint8_t buf[517];
  while (true) {
    const long n = ring.read(buf, sizeof buf);
    ASSERT_GE(n, 0);
    if (n == 0) break;
    for (long i = 0; i < n; ++i) inOrder &= buf[i] == static_cast<std::uint8_t>((got + static_cast<std::size_t>(i)) % 251);
    got += static_cast<std::size_t>(n);
  }
  writer.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(got, kTotal);
  EXPECT_EQ(ring.written(), kTotal);
  EXPECT_EQ(ring.consumed(), kTotal);
}

TEST(ByteRing, AbortWakesAWaitingReader) {
  ByteRing ring(64);
  std::thread reader([&] {
    std::uint8_t b[8];
    EXPECT_EQ(ring.read(b, sizeof b), -1);
  });
  ring.abort();
  reader.join();
}

TEST(PcmQueue, ProducerWaitsForRoomAndCloseReleasesIt) {
  PcmQueue q(1024);
  std::vector<std::int16_t> frames(3000 * PcmQueue::kChannels);
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<std::int16_t>(i);
  std::thread producer([&] { EXPECT_TRUE(q.push(frames.data(), 3000)); });
  std::vector<std::int16_t> out(frames.size());
  std::size_t got = 0;
  while (got < 3000) {
    const std::size_t n = q.pop(out.data() + got * PcmQueue::kChannels, 100);
    if (n == 0) std::this_thread::yield();
    got += n;
  }
  producer.join();
  EXPECT_EQ(out, frames);

  std::thread blocked([&] { EXPECT_FALSE(q.push(frames.data(), 3000)); });
  q.close();
  blocked.join();
}
