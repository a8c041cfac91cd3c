#pragma once

#include <Qt>

namespace ornivox::ui {

// A click is a left press followed by its release inside the widget; a
// release elsewhere makes none, and a widget may call a press off (as the
// label does when the press turns out to begin a double click).
class ClickGesture {
 public:
  void press(Qt::MouseButton button) {
    if (button == Qt::LeftButton) down_ = true;
  }
  void cancel() { down_ = false; }
  // True when this release completes a click.
  bool release(Qt::MouseButton button, bool inside) {
    if (button != Qt::LeftButton || !down_) return false;
    down_ = false;
    return inside;
  }

 private:
  bool down_ = false;
};

}  // namespace ornivox::ui
