// JPEG pictures as the window reads its logo: colour spaces, pictures too
// large to decode whole, and files that are no pictures at all.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "ui/shape/jpeg_picture.h"

namespace ornivox::ui {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A picture of one colour, `components` values a pixel in `space`; CMYK
// pictures carry Adobe's marker and, as Adobe's programs write them,
// inverted values.
QByteArray Encode(int width, int height, J_COLOR_SPACE space, std::vector<unsigned char> pixel) {
  jpeg_compress_struct info{};
  jpeg_error_mgr err{};
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = int(pixel.size());
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row;
  for (int x = 0; x < width; ++x) row.insert(row.end(), pixel.begin(), pixel.end());
  while (info.next_scanline < info.image_height) {
    JSAMPROW line = row.data();
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  QByteArray out(reinterpret_cast<const char*>(buffer), qsizetype(size));
  std::free(buffer);
  return out;
}

// The same small picture, its frame header claiming another size: what a
// picture of that size costs to decode, without making one.
QByteArray ClaimingSize(QByteArray jpeg, int width, int height) {
  const qsizetype frame = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
  if (frame < 0) return {};
  jpeg[frame + 5] = char(height >> 8);
  jpeg[frame + 6] = char(height & 0xFF);
  jpeg[frame + 7] = char(width >> 8);
  jpeg[frame + 8] = char(width & 0xFF);
  return jpeg;
}

TEST(DecodeJpeg, ColourSpacesAndSizes) {
  struct Case {
    const char* what;
    QByteArray data;
    QSize size;         // empty: no picture
    QColor colour;      // of the middle pixel
  };
  const Case cases[] = {
      {"RGB", Encode(16, 8, JCS_RGB, {0x20, 0xC0, 0x40}), {16, 8}, QColor(0x20, 0xC0, 0x40)},
      {"grey", Encode(8, 8, JCS_GRAYSCALE, {0x80}), {8, 8}, QColor(0x80, 0x80, 0x80)},
      // Red in Adobe's inverted CMYK: no cyan, full magenta and yellow, no black.
      {"CMYK", Encode(8, 8, JCS_CMYK, {255, 0, 0, 255}), {8, 8}, QColor(255, 0, 0)},
      {"at the pixel limit", ClaimingSize(Encode(8, 8, JCS_RGB, {0, 0, 0}), 4096, 4096), {4096, 4096}, {}},
      {"over it: at half size", ClaimingSize(Encode(8, 8, JCS_RGB, {0, 0, 0}), 5000, 5000), {2500, 2500}, {}},
      {"far over it: at a quarter", ClaimingSize(Encode(8, 8, JCS_RGB, {0, 0, 0}), 16384, 16384), {4096, 4096}, {}},
      {"farther: at an eighth", ClaimingSize(Encode(8, 8, JCS_RGB, {0, 0, 0}), 32768, 20000), {4096, 2500}, {}},
      {"over it even at an eighth", ClaimingSize(Encode(8, 8, JCS_RGB, {0, 0, 0}), 65000, 65000), {}, {}},
      {"not a picture", QByteArray("GIF89a"), {}, {}},
      {"nothing", QByteArray(), {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QImage image = DecodeJpeg(c.data);
    if (c.size.isEmpty()) {
      EXPECT_TRUE(image.isNull());
    } else {
      EXPECT_EQ(image.size(), c.size);
    }
    if (c.colour.isValid() && !image.isNull()) {
      const QColor got = image.pixelColor(image.width() / 2, image.height() / 2);
      EXPECT_NEAR(got.red(), c.colour.red(), 6);
      EXPECT_NEAR(got.green(), c.colour.green(), 6);
      EXPECT_NEAR(got.blue(), c.colour.blue(), 6);
    }
  }
}

// Reading runs on its own thread with a bound, so a read that blocks fails
// the test instead of hanging it; `unblock` then frees the reader.
QImage LoadWithin(const fs::path& path, bool& inTime, const std::function<void()>& unblock = {}) {
  auto loading = std::async(std::launch::async, [path] { return LoadJpegFile(QString::fromStdString(path.string())); });
  inTime = loading.wait_for(10s) == std::future_status::ready;
  if (!inTime && unblock) unblock();
  return loading.get();
}

TEST(LoadJpegFile, OnlyRegularFilesOfASensibleSize) {
  const fs::path dir = fs::temp_directory_path() / ("ornivox-jpeg-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const QByteArray picture = Encode(8, 8, JCS_RGB, {0x20, 0xC0, 0x40});

  const fs::path good = dir / "logo.jpg";
  std::ofstream(good, std::ios::binary).write(picture.constData(), picture.size());
  bool inTime = false;
  EXPECT_EQ(LoadWithin(good, inTime).size(), QSize(8, 8));
  EXPECT_TRUE(inTime);

  // A FIFO: opening it must not wait for a writer.
  const fs::path fifo = dir / "fifo.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const QImage fromFifo = LoadWithin(fifo, inTime, [&] {
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  });
  EXPECT_TRUE(inTime) << "reading a FIFO waited for a writer";
  EXPECT_TRUE(fromFifo.isNull());

  // A picture followed by 20 MB: too large to be a logo, and not read.
  const fs::path huge = dir / "huge.jpg";
  std::ofstream(huge, std::ios::binary).write(picture.constData(), picture.size());
  fs::resize_file(huge, 20u * 1024u * 1024u);
  EXPECT_TRUE(LoadWithin(huge, inTime).isNull());
  EXPECT_TRUE(inTime);

  // A device that never ends.
  EXPECT_TRUE(LoadWithin("/dev/zero", inTime).isNull());
  EXPECT_TRUE(inTime);

  fs::remove_all(dir);
}

}  // namespace
}  // namespace ornivox::ui
