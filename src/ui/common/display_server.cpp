#include "ui/common/display_server.h"

#include <QGuiApplication>

namespace ornivox::ui {

bool OnX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

}  // namespace ornivox::ui
