#include "icons.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

#include <jpeglib.h>
#include <png.h>

namespace ornivox::pictures {

namespace {

// libjpeg reports errors through a callback that must not return; this one
// jumps back to readJpeg, which turns the message into an exception.
struct JpegErrors {
  jpeg_error_mgr manager{};
  std::jmp_buf back{};
  char message[JMSG_LENGTH_MAX] = {};
};

void jumpBack(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->back, 1);
}

Bitmap squared(const Bitmap& picture) {
  const int side = std::max(picture.width, picture.height);
  Bitmap square{side, side, std::vector<std::uint8_t>(std::size_t(side) * std::size_t(side) * 3, 255)};
  const int left = (side - picture.width) / 2;
  const int top = (side - picture.height) / 2;
  for (int y = 0; y < picture.height; ++y)
    std::copy_n(picture.rgb.begin() + std::ptrdiff_t(std::size_t(y) * std::size_t(picture.width) * 3), picture.width * 3,
                square.rgb.begin() + std::ptrdiff_t((std::size_t(y + top) * std::size_t(side) + std::size_t(left)) * 3));
  return square;
}

// Area average: each new pixel is the mean of the source area it covers,
// partly covered source pixels counting in proportion.
Bitmap shrunk(const Bitmap& from, int size) {
  Bitmap to{size, size, std::vector<std::uint8_t>(std::size_t(size) * std::size_t(size) * 3)};
  const double step = double(from.width) / size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double x0 = x * step, x1 = (x + 1) * step, y0 = y * step, y1 = (y + 1) * step;
      double sum[3] = {0, 0, 0};
      double area = 0;
      for (int sy = int(std::floor(y0)); sy < int(std::ceil(y1)) && sy < from.height; ++sy) {
        const double h = std::min(y1, sy + 1.0) - std::max(y0, double(sy));
        for (int sx = int(std::floor(x0)); sx < int(std::ceil(x1)) && sx < from.width; ++sx) {
          const double w = std::min(x1, sx + 1.0) - std::max(x0, double(sx)) ;
          const std::uint8_t* p = &from.rgb[(std::size_t(sy) * std::size_t(from.width) + std::size_t(sx)) * 3];
          for (int c = 0; c < 3; ++c) sum[c] += p[c] * w * h;
          area += w * h;
        }
      }
      for (int c = 0; c < 3; ++c)
        to.rgb[(std::size_t(y) * std::size_t(size) + std::size_t(x)) * 3 + std::size_t(c)] =
            std::uint8_t(std::clamp(std::floor(sum[c] / area + 0.5), 0.0, 255.0));
    }
  }
  return to;
}

Bitmap grown(const Bitmap& from, int size) {
  Bitmap to{size, size, std::vector<std::uint8_t>(std::size_t(size) * std::size_t(size) * 3)};
  const double step = double(from.width) / size;
  auto at = [&](int x, int y, int c) {
    x = std::clamp(x, 0, from.width - 1);
    y = std::clamp(y, 0, from.height - 1);
    return double(from.rgb[(std::size_t(y) * std::size_t(from.width) + std::size_t(x)) * 3 + std::size_t(c)]);
  };
  for (int y = 0; y < size; ++y) {
    const double sy = (y + 0.5) * step - 0.5;
    const int y0 = int(std::floor(sy));
    const double fy = sy - y0;
    for (int x = 0; x < size; ++x) {
      const double sx = (x + 0.5) * step - 0.5;
      const int x0 = int(std::floor(sx));
      const double fx = sx - x0;
      for (int c = 0; c < 3; ++c) {
        const double top = at(x0, y0, c) * (1 - fx) + at(x0 + 1, y0, c) * fx;
        const double bottom = at(x0, y0 + 1, c) * (1 - fx) + at(x0 + 1, y0 + 1, c) * fx;
        to.rgb[(std::size_t(y) * std::size_t(size) + std::size_t(x)) * 3 + std::size_t(c)] =
            std::uint8_t(std::clamp(std::floor(top * (1 - fy) + bottom * fy + 0.5), 0.0, 255.0));
      }
    }
  }
  return to;
}

}  // namespace

Bitmap readJpeg(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) throw std::runtime_error("cannot read " + path.string());
  if (bytes.empty()) throw std::runtime_error(path.string() + " is empty");

  jpeg_decompress_struct cinfo{};
  JpegErrors errors;
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = jumpBack;
  // Nothing with a destructor lives between here and the jumps back.
  Bitmap picture;
  if (setjmp(errors.back) != 0) {
    jpeg_destroy_decompress(&cinfo);
    throw std::runtime_error(path.string() + ": " + errors.message);
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  picture.width = int(cinfo.output_width);
  picture.height = int(cinfo.output_height);
  picture.rgb.resize(std::size_t(picture.width) * std::size_t(picture.height) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = picture.rgb.data() + std::size_t(cinfo.output_scanline) * std::size_t(picture.width) * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return picture;
}

Bitmap scaledSquare(const Bitmap& picture, int size) {
  const Bitmap square = picture.width == picture.height ? picture : squared(picture);
  if (square.width == size) return square;
  return square.width > size ? shrunk(square, size) : grown(square, size);
}

void writePng(const std::filesystem::path& path, const Bitmap& bitmap) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) throw std::runtime_error("cannot write " + path.string());
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw std::runtime_error("out of memory writing " + path.string());
  }
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("cannot write " + path.string());
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, png_uint_32(bitmap.width), png_uint_32(bitmap.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < bitmap.height; ++y)
    png_write_row(png, bitmap.rgb.data() + std::size_t(y) * std::size_t(bitmap.width) * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace ornivox::pictures
