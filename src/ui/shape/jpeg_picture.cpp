#include "ui/shape/jpeg_picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <new>

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

// A picture file larger than this is no logo.
constexpr off_t kMaxFileBytes = 16 * 1024 * 1024;

// A picture decodes to at most this many pixels; a larger one is decoded at
// a half, a quarter or an eighth of its size (libjpeg's own scaling, which
// never makes the full-size image), and one still larger is refused. A
// 16384 x 16384 logo would otherwise take some 800 MB on the UI thread.
constexpr unsigned long kMaxPixels = 4096ul * 4096ul;

// CMYK as Adobe's programs write it (each value inverted, which their
// marker says), or plain, to RGB: ink takes away light.
void cmykToRgb(const unsigned char* cmyk, unsigned char* rgb, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
    const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
    for (int c = 0; c < 3; ++c) {
      const unsigned v = inverted ? cmyk[c] : 255u - cmyk[c];
      rgb[c] = static_cast<unsigned char>((v * k + 127u) / 255u);
    }
  }
}

// Kept apart from the setjmp frame: nothing with a destructor lives there.
bool decodeInto(jpeg_decompress_struct& info, ErrorManager& err, const QByteArray& data, QImage& out,
                unsigned char*& cmykRow) {
  if (setjmp(err.jump)) return false;
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()), static_cast<unsigned long>(data.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  info.scale_num = 1;
  info.scale_denom = 1;
  while (static_cast<unsigned long>(info.image_width / info.scale_denom) *
                 static_cast<unsigned long>(info.image_height / info.scale_denom) > kMaxPixels &&
         info.scale_denom < 8)
    info.scale_denom *= 2;
  jpeg_calc_output_dimensions(&info);
  if (static_cast<unsigned long>(info.output_width) * info.output_height > kMaxPixels) return false;
  jpeg_start_decompress(&info);
  if (info.output_components != (cmyk ? 4 : 3)) return false;
  out = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
  if (out.isNull()) return false;
  if (cmyk) {
    cmykRow = new (std::nothrow) unsigned char[std::size_t(info.output_width) * 4];
    if (!cmykRow) return false;
  }
  while (info.output_scanline < info.output_height) {
    uchar* target = out.scanLine(static_cast<int>(info.output_scanline));
    JSAMPROW row = cmyk ? cmykRow : target;
    jpeg_read_scanlines(&info, &row, 1);
    if (cmyk) cmykToRgb(cmykRow, target, info.output_width, info.saw_Adobe_marker);
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
  unsigned char* cmykRow = nullptr;
  const bool ok = decodeInto(info, err, data, image, cmykRow);
  delete[] cmykRow;
  jpeg_destroy_decompress(&info);
  return ok ? image : QImage();
}

QImage LoadJpegFile(const QString& path) {
  // Opened without waiting (a FIFO of that name would hold the UI thread
  // until someone writes to it), read only when it is a file of a sensible
  // size (not a device that never ends).
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {};
  QByteArray data;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 && info.st_size <= kMaxFileBytes) {
    data.resize(static_cast<qsizetype>(info.st_size));
    qsizetype got = 0;
    while (got < data.size()) {
      const ssize_t n = ::read(fd, data.data() + got, static_cast<std::size_t>(data.size() - got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += n;
    }
    data.truncate(got);
  }
  ::close(fd);
  return DecodeJpeg(data);
}

}  // namespace ornivox::ui
