// The web song request window. Created hidden at start, shown modally from
// the main window.
//
// Threads: the UI thread.
#pragma once

#include <QDialog>

namespace ornivox::ui {

class TfrmWebIstek : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmWebIstek(QWidget* parent = nullptr);
};

}  // namespace ornivox::ui
