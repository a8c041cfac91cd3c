#include "requests/istek.h"

namespace ornivox::ui {

TfrmIstek::TfrmIstek(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmIstek")); }

}  // namespace ornivox::ui
