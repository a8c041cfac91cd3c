#pragma once

#include <string>
#include <string_view>

namespace ornivox::testsupport {

// The directory holding the generated test media (tests/fixtures/make_media.sh):
//   tone_lr.mp3          MP3 128 kbps 44.1 kHz stereo 20 s, L 440 Hz / R 1000 Hz, -6 dBFS
//   right_full.mp3       left silent, right 1000 Hz at -0.3 dBFS, 10 s
//   silence.mp3          digital silence, 10 s
//   lead_silence.mp3     0.1 s of digital silence, then tone_lr's tones, 5 s
//   tone_lr.aac          ADTS AAC, as tone_lr.mp3
//   tone_lr.ogg          Ogg Vorbis, as tone_lr.mp3, TITLE "Bir"
//   chained.ogg          two 3 s Vorbis links: 440 Hz "Bir", then 880 Hz "İki"
//   tone_lr.wma          ASF/WMAv2 128 kbps, title "Deneme WMA", author "Ornivox"
//   tone_lr_mono22k.mp3  mono 22.05 kHz 64 kbps, 660 Hz, 10 s
// Made at most once per process and under an flock, so parallel test
// processes share one copy. Where: $ORNIVOX_MEDIA_DIR, else the build tree,
// else /tmp/ornivox-media-<uid>. Throws std::runtime_error on failure.
std::string mediaDir();

// mediaDir() + "/" + name
std::string mediaFile(std::string_view name);

}  // namespace ornivox::testsupport
