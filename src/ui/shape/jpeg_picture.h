// JPEG pictures through libjpeg.
//
// Threads: any.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace ornivox::ui {

// A null image when the data is not a readable JPEG picture. RGB, grey and
// CMYK pictures are read; one of more than 4096 x 4096 pixels comes at a
// half, a quarter or an eighth of its size, and a larger one not at all.
QImage DecodeJpeg(const QByteArray& data);
// The same for a regular file of up to 16 MB, opened without waiting; a
// FIFO, a device or a larger file gives a null image.
QImage LoadJpegFile(const QString& path);

}  // namespace ornivox::ui
