#include "ui/common/link_pointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace ornivox::ui {

void ShowLinkPointer(bool overLink) {
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
