// The application's error box: what the default handler of a form event
// shows when the event ends in an error (a settings or playlist file that
// cannot be read, a browser module that cannot be loaded).
//
// Threads: the UI thread.
#pragma once

#include <exception>

class QWidget;

namespace ornivox::ui {

void ShowErrorBox(QWidget* owner, const std::exception& error);

}  // namespace ornivox::ui
