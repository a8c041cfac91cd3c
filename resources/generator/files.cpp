#include "files.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace ornivox::pictures {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(std::uint8_t(v));
  out.push_back(std::uint8_t(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  put16(out, v & 0xffff);
  put16(out, v >> 16);
}

void save(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

constexpr std::uint32_t kPixelsPerMetre = 3780;  // 96 dpi
constexpr std::uint32_t kHeaderBytes = 14 + 40;

}  // namespace

void writeBmp(const std::filesystem::path& path, const Bitmap& bitmap) {
  const std::uint32_t stride = (std::uint32_t(bitmap.width) * 3 + 3) & ~3u;
  const std::uint32_t imageBytes = stride * std::uint32_t(bitmap.height);
  std::vector<std::uint8_t> out;
  out.reserve(kHeaderBytes + imageBytes);

  out.push_back('B');
  out.push_back('M');
  put32(out, kHeaderBytes + imageBytes);
  put32(out, 0);  // reserved
  put32(out, kHeaderBytes);

  put32(out, 40);  // BITMAPINFOHEADER
  put32(out, std::uint32_t(bitmap.width));
  put32(out, std::uint32_t(bitmap.height));  // positive: bottom-up
  put16(out, 1);                             // planes
  put16(out, 24);
  put32(out, 0);  // BI_RGB
  put32(out, imageBytes);
  put32(out, kPixelsPerMetre);
  put32(out, kPixelsPerMetre);
  put32(out, 0);  // colours used
  put32(out, 0);  // important colours

  for (int y = bitmap.height - 1; y >= 0; --y) {
    const std::uint8_t* row = bitmap.rgb.data() + std::size_t(y) * std::size_t(bitmap.width) * 3;
    for (int x = 0; x < bitmap.width; ++x) {
      out.push_back(row[x * 3 + 2]);
      out.push_back(row[x * 3 + 1]);
      out.push_back(row[x * 3]);
    }
    out.resize(out.size() + (stride - std::uint32_t(bitmap.width) * 3), 0);
  }
  save(path, out.data(), out.size());
}

void writeJpeg(const std::filesystem::path& path, const Bitmap& bitmap, int quality) {
  // libjpeg's own error handler reports and exits; the only errors possible
  // here are out-of-memory ones, so the generator need not recover from them.
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);

  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);

  cinfo.image_width = JDIMENSION(bitmap.width);
  cinfo.image_height = JDIMENSION(bitmap.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.write_JFIF_header = TRUE;
  cinfo.density_unit = 1;  // dots per inch
  cinfo.X_density = 96;
  cinfo.Y_density = 96;
  cinfo.optimize_coding = TRUE;
  for (int c = 0; c < 3; ++c) {
    cinfo.comp_info[c].h_samp_factor = 1;
    cinfo.comp_info[c].v_samp_factor = 1;
  }

  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(bitmap.rgb.data() + std::size_t(cinfo.next_scanline) * std::size_t(bitmap.width) * 3);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);

  try {
    save(path, buffer, size);
  } catch (...) {
    std::free(buffer);
    throw;
  }
  std::free(buffer);
}

}  // namespace ornivox::pictures
