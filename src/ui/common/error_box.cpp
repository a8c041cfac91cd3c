#include "ui/common/error_box.h"

#include <QMessageBox>
#include <QString>

namespace ornivox::ui {

void ShowErrorBox(QWidget* owner, const std::exception& error) {
  QMessageBox::critical(owner, QString(), QString::fromLocal8Bit(error.what()));
}

}  // namespace ornivox::ui
