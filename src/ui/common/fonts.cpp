#include "ui/common/fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QString>

namespace ornivox::ui {
namespace {

const QString kWineFonts = QStringLiteral("/usr/share/wine/fonts/");

bool AddWineFont(const QString& file) {
  const QString path = kWineFonts + file;
  return QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0;
}

const QString kDialogFamily = QStringLiteral("MS Sans Serif");

}  // namespace

void LoadLayoutFonts() {
  // Only the regular face: the bold one of that package draws the capital
  // dotted I without its dot, which Turkish texts cannot do without. The
  // bold labels get the regular face made bold by the font engine.
  AddWineFont(QStringLiteral("tahoma.ttf"));
  if (!QFontDatabase::hasFamily(kDialogFamily)) AddWineFont(QStringLiteral("ms_sans_serif.ttf"));
}

QFont TahomaFont(int pixels) {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(pixels);
  return font;
}

QFont DialogFont() {
  QFont font(kDialogFamily);
  font.setPixelSize(11);
  return font;
}

}  // namespace ornivox::ui
