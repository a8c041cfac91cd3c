#include "app/display_platform.h"

namespace ornivox::app {
namespace {

bool set(const char* value) { return value != nullptr && *value != '\0'; }

}  // namespace

std::optional<std::string> PlatformToAsk(const char* chosen, const char* x11Display, const char* waylandDisplay) {
  if (set(chosen)) return std::nullopt;
  if (set(x11Display)) return "xcb";
  if (set(waylandDisplay)) return "wayland";
  return std::nullopt;
}

}  // namespace ornivox::app
