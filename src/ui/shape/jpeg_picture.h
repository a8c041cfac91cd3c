// JPEG pictures through libjpeg.
//
// Threads: any.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace ornivox::ui {

// A null image when the data is not a readable JPEG picture.
QImage DecodeJpeg(const QByteArray& data);
QImage LoadJpegFile(const QString& path);

}  // namespace ornivox::ui
