// The small dialogs' font: the layout's "MS Sans Serif" at 8 points (11
// pixels), from Wine's fonts when the system has no such family.
//
// Threads: the UI thread.
#pragma once

#include <QFont>

namespace ornivox::ui {

QFont DialogFont();

}  // namespace ornivox::ui
