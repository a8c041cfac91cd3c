#include "player/stream_tags.h"

#include <optional>
#include <string>
#include <string_view>

#include "metadata/bitrate_rules.h"
#include "metadata/header_rules.h"
#include "metadata/stream_title.h"
#include "metadata/tag_list.h"
#include "metadata/tag_text.h"
#include "player/stream_bitrate.h"

namespace ornivox {
namespace {

// The header list that names the station: the first of these the stream has.
const char* FirstHeaderList(HSTREAM channel) {
  for (DWORD type : {BASS_TAG_ICY, BASS_TAG_HTTP, BASS_TAG_OGG}) {
    if (const char* list = BASS_ChannelGetTags(channel, type)) return list;
  }
  return nullptr;
}

void SendTitle(const TagRelay& relay, HSTREAM channel, TagRelay::Source source) {
  // A WMA stream's mid-stream tag carries script commands, not song titles;
  // nothing of it is shown.
  if (source.isWma) return;
  const char* meta = BASS_ChannelGetTags(channel, BASS_TAG_META);
  if (meta == nullptr) return;
  if (const std::optional<std::string> title = StreamTitleOf(meta)) {
    relay.sinks().title(source.generation, TagTextForDisplay(*title));
  }
}

}  // namespace

void ReadHeaderTags(TagRelay& relay, HSTREAM channel, std::uint64_t generation, bool isWma) {
  const TagRelay::Sinks& sinks = relay.sinks();
  if (isWma) {
    if (const char* meta = BASS_ChannelGetTags(channel, BASS_TAG_WMA_META)) {
      if (const auto title = WmaMetaTitle(meta)) sinks.station(generation, "1: " + TagTextForDisplay(*title));
    }
    BASS_ChannelSetSync(channel, BASS_SYNC_WMA_META, 0, ReadStreamTitle, &relay);
    BASS_ChannelSetSync(channel, BASS_SYNC_WMA_CHANGE, 0, OnWmaChange, &relay);
  } else {
    // Copied: the label's look-up below reads the same tag type again.
    const std::string list = [&] {
      const char* l = FirstHeaderList(channel);
      if (l == nullptr) return std::string();
      std::string copy;
      for (std::string_view entry : TagEntries(l)) copy.append(entry).push_back('\0');
      return copy;
    }();
    for (const HeaderAction& action : ScanHeaderList(TagEntries(list.c_str()))) {
      if (action.kind == HeaderAction::Kind::Station) {
        sinks.station(generation, TagTextForDisplay(action.text));
      } else {
        sinks.kbpsLabel(generation, KbpsLabel(StreamBitrate(channel), CodecName(channel)));
      }
    }
    BASS_ChannelSetSync(channel, BASS_SYNC_META, 0, ReadStreamTitle, &relay);
    BASS_ChannelSetSync(channel, BASS_SYNC_OGG_CHANGE, 0, ReadStreamTitle, &relay);
  }
  SendTitle(relay, channel, TagRelay::Source{generation, isWma});
  if (isWma) BASS_ChannelSetSync(channel, BASS_SYNC_META, 0, ReadStreamTitle, &relay);
}

void ReadStreamTitle(HSYNC, DWORD channel, DWORD, void* user) {
  const auto& relay = *static_cast<const TagRelay*>(user);
  if (const auto source = relay.sourceOf(channel)) SendTitle(relay, channel, *source);
}

void OnWmaChange(HSYNC, DWORD channel, DWORD, void* user) {
  const auto& relay = *static_cast<const TagRelay*>(user);
  const auto source = relay.sourceOf(channel);
  if (!source) return;
  for (std::string_view title : WmaHeaderTitles(TagEntries(BASS_ChannelGetTags(channel, BASS_TAG_WMA)))) {
    relay.sinks().station(source->generation, TagTextForDisplay(title));
  }
}

}  // namespace ornivox
