#include "about/hakkinda.h"

namespace ornivox::ui {

TfrmHakkinda::TfrmHakkinda(QWidget* parent) : QDialog(parent) { setObjectName(QStringLiteral("frmHakkinda")); }

}  // namespace ornivox::ui
