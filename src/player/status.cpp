#include "player/status.h"

#include <cstdio>

#include "player/texts.h"
#include "station/identity.h"

namespace ornivox {

void TrimTrailingSpaces(std::string& text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
}

std::string BufferingText(std::int32_t percent) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%d%%", std::string(texts::kLoadingPrefix).c_str(), percent);
  return buf;
}

StatusEffect ApplyPlayerStatus(PlayerState& state, int code, const StatusParam& param) {
  StatusEffect effect;
  switch (code) {
    case PS_CONNECTING:
      effect.titleLine = std::string(station::kSlogan);
      effect.stationLine = std::string(texts::kConnecting);
      effect.nowPlaying = StatusEffect::Broadcast{std::string(station::kSlogan), state.messengerSuffix};
      break;
    case PS_NO_SERVICE:
      effect.stationLine = std::string(texts::kNoService);
      break;
    case PS_BUFFERING:
      // The sender's value is a 32-bit number, shown signed.
      effect.stationLine = BufferingText(static_cast<std::int32_t>(static_cast<std::uint32_t>(param.number)));
      effect.repaintStationLine = true;
      break;
    case PS_STATION:
      if (state.stationName.empty()) state.stationName = param.text;
      TrimTrailingSpaces(state.stationName);
      effect.stationLine = state.stationName;
      break;
    case PS_TITLE:
      state.currentTitle = param.text;
      TrimTrailingSpaces(state.currentTitle);
      if (state.currentTitle.size() > kTitleLimit) state.currentTitle.resize(kTitleLimit);
      if (!state.currentTitle.empty()) {
        effect.titleLine = state.currentTitle;
        effect.nowPlaying = StatusEffect::Broadcast{state.currentTitle, state.messengerSuffix};
      }
      break;
    default:
      break;
  }
  return effect;
}

}  // namespace ornivox
