// The layout's fonts. Debian's fonts-wine has a "Tahoma" that fontconfig does
// not list, so the program adds it itself.
//
// Threads: the UI thread, after the application object exists.
#pragma once

namespace ornivox::ui {

void LoadLayoutFonts();

}  // namespace ornivox::ui
