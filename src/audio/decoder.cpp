#include "audio/decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <memory>

#include "audio/asf_script.h"
#include "audio/bass.h"

namespace ornivox::audio {

namespace {

constexpr int kAvioBufferSize = 8192;
// Bytes of input that may pass without a decoded frame before the content is
// judged undecodable (covers a mid-frame start and leading junk).
constexpr std::uint64_t kMaxBytesBeforeAudio = 512 * 1024;
constexpr int kMaxConsecutiveErrors = 200;
// Joining a stream mid-way, the first frames decode to digital silence (their
// bit reservoir went out before we came in). Up to this many are dropped so
// the sound starts sooner; a station that really sends silence starts anyway.
constexpr int kMaxLeadingSilentFrames = 8;

bool isDigitalSilence(const AVFrame* frame) {
  const auto format = static_cast<AVSampleFormat>(frame->format);
  const bool planar = av_sample_fmt_is_planar(format);
  const int planes = planar ? frame->ch_layout.nb_channels : 1;
  const std::size_t bytes = static_cast<std::size_t>(frame->nb_samples) * av_get_bytes_per_sample(format) *
                            (planar ? 1 : frame->ch_layout.nb_channels);
  for (int p = 0; p < planes; ++p) {
    const std::uint8_t* data = frame->extended_data[p];
    if (std::any_of(data, data + bytes, [](std::uint8_t b) { return b != 0; })) return false;
  }
  return true;
}

struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct SwrCloser {
  void operator()(SwrContext* c) const { swr_free(&c); }
};
struct AvioCloser {
  void operator()(AVIOContext* c) const {
    if (c) av_freep(&c->buffer);
    avio_context_free(&c);
  }
};
struct PacketCloser {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};

struct ReadContext {
  ByteRing* ring;
  const std::atomic<bool>* abort;
  std::atomic<std::uint64_t>* bytesRead;
};

int readPacket(void* opaque, std::uint8_t* buf, int size) {
  auto* ctx = static_cast<ReadContext*>(opaque);
  const long n = ctx->ring->read(buf, static_cast<std::size_t>(size));
  if (n < 0 || ctx->abort->load()) return AVERROR_EXIT;
  if (n == 0) return AVERROR_EOF;
  ctx->bytesRead->fetch_add(static_cast<std::uint64_t>(n));
  return static_cast<int>(n);
}

int interrupted(void* opaque) { return static_cast<const std::atomic<bool>*>(opaque)->load() ? 1 : 0; }

std::uint32_t channelType(AVCodecID codec, const char* container) {
  const std::string_view name = container ? container : "";
  const bool asf = name == "asf";
  switch (codec) {
    case AV_CODEC_ID_MP3: return asf ? std::uint32_t{BASS_CTYPE_STREAM_WMA_MP3} : std::uint32_t{BASS_CTYPE_STREAM_MP3};
    case AV_CODEC_ID_MP2: return BASS_CTYPE_STREAM_MP2;
    case AV_CODEC_ID_MP1: return BASS_CTYPE_STREAM_MP1;
    case AV_CODEC_ID_VORBIS:
    case AV_CODEC_ID_OPUS:
    case AV_CODEC_ID_FLAC:
    case AV_CODEC_ID_SPEEX: return name == "ogg" ? std::uint32_t{BASS_CTYPE_STREAM_OGG} : 0x10000u;
    case AV_CODEC_ID_AAC:
      return name.find("mp4") != std::string_view::npos ? std::uint32_t{BASS_CTYPE_STREAM_MP4} : std::uint32_t{BASS_CTYPE_STREAM_AAC};
    case AV_CODEC_ID_WMAV1:
    case AV_CODEC_ID_WMAV2:
    case AV_CODEC_ID_WMAPRO:
    case AV_CODEC_ID_WMALOSSLESS:
    case AV_CODEC_ID_WMAVOICE: return BASS_CTYPE_STREAM_WMA;
    default: return 0x10000;  // a stream of another kind
  }
}

std::vector<std::string> dictionaryEntries(const AVDictionary* dict, bool asfNames) {
  std::vector<std::string> out;
  const AVDictionaryEntry* e = nullptr;
  while ((e = av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX))) {
    std::string key = e->key;
    // FFmpeg calls the ASF author "artist"; stations and tag readers know it as author.
    if (asfNames && key == "artist") key = "author";
    out.push_back(key + "=" + e->value);
  }
  return out;
}

class Resampler {
 public:
  explicit Resampler(int outRate) : outRate_(outRate) {}

  // Converts one frame; returns false on a conversion error.
  bool convert(const AVFrame* frame, std::vector<std::int16_t>& out) {
    if (!swr_ || frame->sample_rate != inRate_ || frame->format != inFormat_ ||
        av_channel_layout_compare(&frame->ch_layout, &inLayout_) != 0) {
      if (!setup(frame)) return false;
    }
    const int capacity = static_cast<int>(av_rescale_rnd(swr_get_delay(swr_.get(), inRate_) + frame->nb_samples,
                                                         outRate_, inRate_, AV_ROUND_UP));
    out.resize(static_cast<std::size_t>(capacity) * PcmQueue::kChannels);
    std::uint8_t* dst[1] = {reinterpret_cast<std::uint8_t*>(out.data())};
    const int n = swr_convert(swr_.get(), dst, capacity, const_cast<const std::uint8_t**>(frame->extended_data),
                              frame->nb_samples);
    if (n < 0) return false;
    out.resize(static_cast<std::size_t>(n) * PcmQueue::kChannels);
    return true;
  }

  ~Resampler() { av_channel_layout_uninit(&inLayout_); }

 private:
  bool setup(const AVFrame* frame) {
    av_channel_layout_uninit(&inLayout_);
    if (av_channel_layout_copy(&inLayout_, &frame->ch_layout) < 0) return false;
    if (inLayout_.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&inLayout_, inLayout_.nb_channels);
    inRate_ = frame->sample_rate;
    inFormat_ = frame->format;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* swr = nullptr;
    if (swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, outRate_, &inLayout_,
                            static_cast<AVSampleFormat>(inFormat_), inRate_, 0, nullptr) < 0)
      return false;
    swr_.reset(swr);
    if (inLayout_.nb_channels == 1) {
      // A mono stream sounds on each side as loud as it was recorded, not 3 dB down.
      const double unity[2] = {1.0, 1.0};
      swr_set_matrix(swr, unity, 1);
    }
    if (swr_init(swr) < 0) {
      swr_.reset();
      return false;
    }
    // Keep the layout exactly as the frames report it, so the next compare matches.
    av_channel_layout_uninit(&inLayout_);
    av_channel_layout_copy(&inLayout_, &frame->ch_layout);
    return true;
  }

  int outRate_;
  int inRate_ = 0;
  int inFormat_ = -1;
  AVChannelLayout inLayout_{};
  std::unique_ptr<SwrContext, SwrCloser> swr_;
};

}  // namespace

std::string demuxerForContentType(const std::string& type) {
  if (type == "audio/mpeg" || type == "audio/mp3" || type == "audio/x-mpeg" || type == "audio/mpeg3") return "mp3";
  if (type == "audio/aac" || type == "audio/aacp" || type == "audio/x-aac") return "aac";
  if (type == "application/ogg" || type == "audio/ogg" || type == "audio/x-ogg" || type == "audio/vorbis" ||
      type == "audio/opus")
    return "ogg";
  if (type == "video/x-ms-asf" || type == "audio/x-ms-wma" || type == "application/vnd.ms-asf") return "asf";
  if (type == "audio/mp4" || type == "audio/x-m4a") return "mov,mp4,m4a,3gp,3g2,mj2";
  return {};
}

namespace {

// One opened container: the demuxer and the streams the engine reads of it.
struct Demux {
  std::unique_ptr<AVFormatContext, FormatCloser> fmt;
  AVStream* audio = nullptr;
  int audioIndex = -1;
  int commandIndex = -1;  // an ASF command-media stream (script commands), or -1
  bool isAsf = false;
};

// Opens the container on `pb` (or on the input's address when pb is null)
// with demuxer `format` (null: probe). Returns BASS_OK or why it failed.
int openDemux(const DecoderInput& input, AVIOContext* pb, const AVInputFormat* format,
              const std::atomic<bool>& abort, Demux& out) {
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) return BASS_ERROR_MEM;
  raw->interrupt_callback = {interrupted, const_cast<std::atomic<bool>*>(&abort)};
  if (pb) {
    raw->pb = pb;
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  }
  // The whole stream does not need analysing: the first frames tell the format.
  raw->probesize = 64 * 1024;
  raw->max_analyze_duration = AV_TIME_BASE / 2;
  raw->fps_probe_size = 0;

  AVDictionary* options = nullptr;
  if (!pb) {
    av_dict_set(&options, "user_agent", input.agent.c_str(), 0);
    av_dict_set_int(&options, "rw_timeout", std::int64_t{input.timeoutMs} * 1000, 0);
    av_dict_set_int(&options, "timeout", std::int64_t{input.timeoutMs} * 1000, 0);
  }
  const int opened = avformat_open_input(&raw, pb ? "" : input.url.c_str(), format, &options);
  av_dict_free(&options);
  if (opened < 0) return abort.load() ? BASS_ERROR_ENDED : (pb ? BASS_ERROR_FILEFORM : BASS_ERROR_FILEOPEN);
  out.fmt.reset(raw);
  AVFormatContext* fmt = raw;

  // Demuxers that read the codec from the stream's own header (MP3 frame
  // headers, Ogg and ASF headers) need no analysis pass, which would read
  // half a second of audio before anything plays; the first decoded frame
  // tells the rest.
  bool known = false;
  for (unsigned i = 0; i < fmt->nb_streams; ++i)
    known |= fmt->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
             fmt->streams[i]->codecpar->codec_id != AV_CODEC_ID_NONE;
  if (!known && avformat_find_stream_info(fmt, nullptr) < 0 && abort.load()) return BASS_ERROR_ENDED;
  out.isAsf = std::string_view(fmt->iformat->name) == "asf";
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVMediaType type = fmt->streams[i]->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO && out.audioIndex < 0) out.audioIndex = static_cast<int>(i);
    // FFmpeg's ASF demuxer gives the command-media stream as data.
    else if (type == AVMEDIA_TYPE_DATA && out.isAsf && out.commandIndex < 0) out.commandIndex = static_cast<int>(i);
    else fmt->streams[i]->discard = AVDISCARD_ALL;
  }
  if (out.audioIndex < 0) return abort.load() ? BASS_ERROR_ENDED : BASS_ERROR_FILEFORM;
  out.audio = fmt->streams[out.audioIndex];
  out.audio->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
  fmt->event_flags &= ~AVFMT_EVENT_FLAG_METADATA_UPDATED;
  return BASS_OK;
}

std::unique_ptr<AVCodecContext, CodecCloser> openCodec(const AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  std::unique_ptr<AVCodecContext, CodecCloser> ctx(avcodec_alloc_context3(codec));
  if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0 || avcodec_open2(ctx.get(), codec, nullptr) < 0)
    return nullptr;
  return ctx;
}

}  // namespace

int runDecoder(const DecoderInput& input, int outputRate, PcmQueue& out, const std::atomic<bool>& abort,
               const DecoderEvents& events, std::atomic<std::uint64_t>& bytesRead) {
  ReadContext readContext{input.ring, &abort, &bytesRead};
  std::unique_ptr<AVIOContext, AvioCloser> avio;
  if (input.ring) {
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kAvioBufferSize));
    if (!buffer) return BASS_ERROR_MEM;
    avio.reset(avio_alloc_context(buffer, kAvioBufferSize, 0, &readContext, readPacket, nullptr, nullptr));
    if (!avio) {
      av_free(buffer);
      return BASS_ERROR_MEM;
    }
    avio->seekable = 0;
  }

  Demux demux;
  const AVInputFormat* format = input.formatHint.empty() ? nullptr : av_find_input_format(input.formatHint.c_str());
  if (const int error = openDemux(input, avio.get(), format, abort, demux)) return error;
  auto decoder = openCodec(demux.audio);
  if (!decoder) return BASS_ERROR_CODEC;

  DecodedFormat info;
  info.ctype = channelType(demux.audio->codecpar->codec_id, demux.fmt->iformat->name);
  info.isAsf = demux.isAsf;
  if (std::string_view(demux.fmt->iformat->name) == "ogg") {
    info.comments = dictionaryEntries(demux.fmt->metadata, false);
    auto more = dictionaryEntries(demux.audio->metadata, false);
    info.comments.insert(info.comments.end(), more.begin(), more.end());
  }
  if (demux.isAsf) info.asfTags = dictionaryEntries(demux.fmt->metadata, true);

  std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
  if (!packet || !frame) return BASS_ERROR_MEM;
  Resampler resampler(outputRate);
  std::vector<std::int16_t> pcm;
  bool readyToldAlready = false;
  int errors = 0;
  int leadingSilenceLeft = kMaxLeadingSilentFrames;

  auto drainFrames = [&]() -> bool {
    while (true) {
      const int r = avcodec_receive_frame(decoder.get(), frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) {
        ++errors;
        return true;
      }
      if (!readyToldAlready && leadingSilenceLeft > 0 && isDigitalSilence(frame.get())) {
        --leadingSilenceLeft;
        av_frame_unref(frame.get());
        continue;
      }
      if (!readyToldAlready) {
        info.rate = frame->sample_rate;
        info.channels = frame->ch_layout.nb_channels;
      }
      const bool converted = resampler.convert(frame.get(), pcm);
      av_frame_unref(frame.get());
      if (!converted) {
        ++errors;
        continue;
      }
      errors = 0;
      if (!readyToldAlready) {
        readyToldAlready = true;
        if (events.ready) events.ready(info);
      }
      if (!pcm.empty() && !out.push(pcm.data(), pcm.size() / PcmQueue::kChannels)) return false;
    }
  };

  // A live ASF source that starts over (an encoder restarted behind the
  // server) sends a fresh header after the last packet of the old data
  // object; FFmpeg's demuxer ends there, and a new one takes up the rest.
  auto nextAsfHeader = [&]() -> bool {
    if (!demux.isAsf || !avio || !readyToldAlready || abort.load()) return false;
    avcodec_send_packet(decoder.get(), nullptr);
    if (!drainFrames()) return false;
    Demux next;
    if (openDemux(input, avio.get(), av_find_input_format("asf"), abort, next) != BASS_OK) return false;
    auto nextDecoder = openCodec(next.audio);
    if (!nextDecoder) return false;
    demux = std::move(next);
    decoder = std::move(nextDecoder);
    errors = 0;
    if (events.newAsfHeader) events.newAsfHeader(dictionaryEntries(demux.fmt->metadata, true), out.pushed());
    return true;
  };

  int result = BASS_OK;
  while (!abort.load()) {
    const int r = av_read_frame(demux.fmt.get(), packet.get());
    if (r == AVERROR(EAGAIN)) continue;
    if (r < 0) {
      if (r == AVERROR_EXIT || abort.load()) result = BASS_ERROR_ENDED;
      else if (r == AVERROR_EOF && nextAsfHeader()) continue;
      else if (r != AVERROR_EOF && ++errors < kMaxConsecutiveErrors) continue;
      break;
    }
    std::unique_ptr<AVPacket, decltype(&av_packet_unref)> unref(packet.get(), av_packet_unref);
    if (packet->stream_index == demux.commandIndex) {
      const auto text = scriptCommandText(packet->data, static_cast<std::size_t>(packet->size));
      if (text && events.scriptCommand) events.scriptCommand(*text, out.pushed());
      continue;
    }
    if (packet->stream_index != demux.audioIndex) continue;
    AVStream* stream = demux.audio;
    if (stream->event_flags & AVSTREAM_EVENT_FLAG_METADATA_UPDATED) {
      stream->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
      if (events.newComments) events.newComments(dictionaryEntries(stream->metadata, false), out.pushed());
    }
    if (events.packet) events.packet(packet->pos, out.pushed());
    if (avcodec_send_packet(decoder.get(), packet.get()) < 0) ++errors;
    if (!drainFrames()) break;
    if (!readyToldAlready && (bytesRead.load() > kMaxBytesBeforeAudio || errors >= kMaxConsecutiveErrors)) break;
    if (errors >= kMaxConsecutiveErrors) {
      // A new chain link may bring new codec headers: start the decoder afresh.
      decoder = openCodec(demux.audio);
      if (!decoder) break;
      errors = kMaxConsecutiveErrors / 2;
    }
  }
  if (readyToldAlready && !abort.load()) {
    avcodec_send_packet(decoder.get(), nullptr);
    drainFrames();
  }
  if (!readyToldAlready) return abort.load() ? BASS_ERROR_ENDED : BASS_ERROR_FILEFORM;
  return result;
}

}  // namespace ornivox::audio
