#include "ui/shape/jpeg_picture.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace ornivox::ui {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr info) {
  auto* err = reinterpret_cast<ErrorManager*>(info->err);
  std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr) {}  // warnings about damaged data: not ours to print

// Kept apart from the setjmp frame: nothing with a destructor lives there.
bool decodeInto(jpeg_decompress_struct& info, ErrorManager& err, const QByteArray& data, QImage& out) {
  if (setjmp(err.jump)) return false;
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_components != 3 || info.output_width > 16384 || info.output_height > 16384) return false;
  out = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
  if (out.isNull()) return false;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
  if (data.isEmpty()) return {};
  jpeg_decompress_struct info{};
  ErrorManager err{};
  info.err = jpeg_std_error(&err.base);
  err.base.error_exit = onError;
  err.base.output_message = onMessage;
  jpeg_create_decompress(&info);
  QImage image;
  const bool ok = decodeInto(info, err, data, image);
  jpeg_destroy_decompress(&info);
  return ok ? image : QImage();
}

QImage LoadJpegFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return DecodeJpeg(file.readAll());
}

}  // namespace ornivox::ui
