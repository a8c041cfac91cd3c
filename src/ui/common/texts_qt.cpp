#include "ui/common/texts_qt.h"

#include "text/cp1254.h"

namespace ornivox::ui {

QString FromCp1254(std::string_view text) { return QString::fromStdString(text::cp1254ToUtf8(text)); }

std::string ToCp1254(const QString& text) { return text::utf8ToCp1254(text.toStdString()); }

}  // namespace ornivox::ui
