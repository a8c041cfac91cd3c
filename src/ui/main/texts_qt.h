// Where the program's code-page texts meet the toolkit.
#pragma once

#include <QString>

#include <string>

#include "text/cp1254.h"

namespace ornivox::ui {

inline QString FromCp1254(const std::string& text) { return QString::fromStdString(text::cp1254ToUtf8(text)); }
inline std::string ToCp1254(const QString& text) { return text::utf8ToCp1254(text.toStdString()); }

}  // namespace ornivox::ui
