// Which kind of display the windows are on. The skin's outline as a shape,
// translucency, placing windows and the window manager's move all belong to
// X11 (a Wayland session's XWayland included); on a native Wayland display
// the compositor places the windows and the outline is painted with alpha.
//
// Threads: the UI thread, once the application object exists.
#pragma once

namespace ornivox::ui {

bool OnX11();

}  // namespace ornivox::ui
