#include "requests/web_istek.h"

namespace ornivox::ui {

TfrmWebIstek::TfrmWebIstek(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmWebIstek")); }

}  // namespace ornivox::ui
