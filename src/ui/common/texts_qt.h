// Where the program's code-page texts meet the toolkit.
//
// Threads: any; nothing is shared.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace ornivox::ui {

QString FromCp1254(std::string_view text);
std::string ToCp1254(const QString& text);

}  // namespace ornivox::ui
