// Which display the toolkit is asked for when the listener has not chosen
// one (the toolkit's own QT_QPA_PLATFORM): X11 wherever an X server is
// there, a Wayland session's XWayland included, because the skin's outline,
// translucency, the windows' places and the messenger record all need it;
// on a Wayland display without one, Wayland itself.
#pragma once

#include <optional>
#include <string>

namespace ornivox::app {

// The environment's values, null where unset. Nothing when the choice is
// the listener's or there is no display to name.
std::optional<std::string> PlatformToAsk(const char* chosen, const char* x11Display, const char* waylandDisplay);

}  // namespace ornivox::app
