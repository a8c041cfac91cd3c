#include "widgets/dialog_font.h"

#include <QFile>
#include <QFontDatabase>

namespace ornivox::ui {

QFont DialogFont() {
  static const bool loaded = [] {
    const QString family = QStringLiteral("MS Sans Serif");
    if (QFontDatabase::hasFamily(family)) return true;
    const QString file = QStringLiteral("/usr/share/wine/fonts/ms_sans_serif.ttf");
    return QFile::exists(file) && QFontDatabase::addApplicationFont(file) >= 0;
  }();
  (void)loaded;
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  return font;
}

}  // namespace ornivox::ui
