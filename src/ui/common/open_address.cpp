#include "ui/common/open_address.h"

#include <QByteArray>
#include <QDesktopServices>
#include <QUrl>

namespace ornivox::ui {

void OpenAddress(std::string_view address) {
  QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray(address.data(), static_cast<qsizetype>(address.size()))));
}

}  // namespace ornivox::ui
