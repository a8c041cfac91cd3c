// Which display the program asks the toolkit for, by what the session has.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/display_platform.h"

namespace {

TEST(DisplayPlatform, X11WhereverThereIsOneAndTheListenersChoiceStands) {
  struct Case {
    const char* name;
    const char* chosen;
    const char* x11;
    const char* wayland;
    std::optional<std::string> asked;
  } cases[] = {
      {"X11 desktop", nullptr, ":0", nullptr, "xcb"},
      {"Wayland with XWayland", nullptr, ":0", "wayland-0", "xcb"},
      {"Wayland alone", nullptr, nullptr, "wayland-0", "wayland"},
      {"empty X11 name counts as none", nullptr, "", "wayland-0", "wayland"},
      {"listener chose Wayland", "wayland", ":0", "wayland-0", std::nullopt},
      {"listener chose X11", "xcb", ":0", "wayland-0", std::nullopt},
      {"empty choice is no choice", "", ":0", "wayland-0", "xcb"},
      {"no display at all", nullptr, nullptr, nullptr, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ornivox::app::PlatformToAsk(c.chosen, c.x11, c.wayland), c.asked);
  }
}

}  // namespace
