// The fonts the stored layouts name. Debian's fonts-wine has them, but
// fontconfig does not list that package's files, so the program adds them
// itself.
//
// Threads: the UI thread, after the application object exists.
#pragma once

#include <QFont>

namespace ornivox::ui {

// Tahoma, for the main window and the about box, and "MS Sans Serif" for the
// small dialogs when the system has no such family. Call once at start.
void LoadLayoutFonts();

// Tahoma at a size in pixels, as the layouts give it.
QFont TahomaFont(int pixels);

// The small dialogs' font: the layout's "MS Sans Serif" at 8 points (11
// pixels).
QFont DialogFont();

}  // namespace ornivox::ui
