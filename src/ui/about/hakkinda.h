// The about box. Created hidden at start, shown modally from the main window.
//
// Threads: the UI thread.
#pragma once

#include <QDialog>

namespace ornivox::ui {

class TfrmHakkinda : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmHakkinda(QWidget* parent = nullptr);
};

}  // namespace ornivox::ui
