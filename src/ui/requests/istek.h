// The e-mail song request window. Created hidden at start.
//
// Threads: the UI thread.
#pragma once

#include <QDialog>

namespace ornivox::ui {

class TfrmIstek : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmIstek(QWidget* parent = nullptr);
};

}  // namespace ornivox::ui
