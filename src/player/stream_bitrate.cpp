#include "player/stream_bitrate.h"

#include <optional>

#include "metadata/bitrate_rules.h"
#include "metadata/tag_list.h"

namespace ornivox {
namespace {

std::optional<TagEntryList> ListOf(HSTREAM channel, DWORD type) {
  const char* list = BASS_ChannelGetTags(channel, type);
  if (list == nullptr) return std::nullopt;
  return TagEntries(list);
}

std::optional<DWORD> ChannelType(HSTREAM channel) {
  BASS_CHANNELINFO info{};
  if (!BASS_ChannelGetInfo(channel, &info)) return std::nullopt;
  return info.ctype;
}

}  // namespace

std::string CodecName(HSTREAM channel) {
  const std::optional<DWORD> ctype = ChannelType(channel);
  return ctype ? std::string(CodecNameOf(*ctype)) : std::string();
}

std::int32_t StreamBitrate(HSTREAM channel) {
  const std::optional<TagEntryList> icy = ListOf(channel, BASS_TAG_ICY);
  const std::optional<TagEntryList> http = icy ? std::nullopt : ListOf(channel, BASS_TAG_HTTP);
  const std::string rate = RateText(icy, http);
  if (!rate.empty()) return ParseRate(rate);
  const auto bytes = static_cast<std::uint32_t>(BASS_ChannelSeconds2Bytes(channel, 0.001));
  return EstimateRate(bytes, ChannelType(channel));
}

}  // namespace ornivox
