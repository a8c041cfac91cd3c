// The pointer over the program's text links. It is the application's, not
// the label's: it stays a hand until the pointer leaves a link again, and
// leaving restores the default everywhere, however many hands were set.
//
// Threads: the UI thread.
#pragma once

#include <QGuiApplication>

namespace ornivox::ui {

inline void ShowLinkPointer(bool overLink) {
  if (overLink) {
    if (QGuiApplication::overrideCursor())
      QGuiApplication::changeOverrideCursor(Qt::PointingHandCursor);
    else
      QGuiApplication::setOverrideCursor(Qt::PointingHandCursor);
  } else {
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  }
}

}  // namespace ornivox::ui
