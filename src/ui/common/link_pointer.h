// The pointer over the program's text links. It is the application's, not
// the label's: it stays a hand until the pointer leaves a link again, and
// leaving restores the default everywhere, however many hands were set.
//
// Threads: the UI thread.
#pragma once

namespace ornivox::ui {

void ShowLinkPointer(bool overLink);

}  // namespace ornivox::ui
