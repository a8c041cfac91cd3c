#include "main/fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace ornivox::ui {

void LoadLayoutFonts() {
  // Only the regular face: the bold one of that package draws the capital
  // dotted I without its dot, which Turkish texts cannot do without. The
  // bold labels get the regular face made bold by the font engine.
  const QString file = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
  if (QFile::exists(file)) QFontDatabase::addApplicationFont(file);
}

}  // namespace ornivox::ui
