#include "requests/istek.h"

namespace ornivox::ui {

TfrmIstek::TfrmIstek(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmIstek")); }

TfrmWebIstek::TfrmWebIstek(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmWebIstek")); }

}  // namespace ornivox::ui
