// The committed pictures as the window uses them: the face's outline row by
// row, the file formats, the key colour, where the art lies under the
// window's parts, the logo's JPEG form, and the copies built into the
// program as resources.
#include <gtest/gtest.h>

#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <queue>
#include <set>
#include <string>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QImage>

#include <jpeglib.h>

#include "resources/pictures.h"

namespace {

const std::string kDir = ORNIVOX_PICTURES_DIR;

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t le(const std::vector<std::uint8_t>& d, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | d[at + std::size_t(i)];
  return v;
}

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};

constexpr Rgb kKey{255, 0, 255};

// A 24-bit Windows bitmap as stored, read field by field.
struct Bmp {
  std::vector<std::uint8_t> bytes;
  int width = 0, height = 0;

  // The pixel in column x of row y, rows counted from the top.
  Rgb at(int x, int y) const {
    const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    const std::size_t p = le(bytes, 10, 4) + std::size_t(height - 1 - y) * stride + std::size_t(x) * 3;
    return {bytes[p + 2], bytes[p + 1], bytes[p]};
  }
};

// Reads `name` and checks it is what the window's loader expects: an
// uncompressed bottom-up 24-bit BITMAPINFOHEADER bitmap at 96 dpi whose
// sizes add up. Failures are reported; the result is empty then.
Bmp loadBmp(const std::string& name) {
  Bmp bmp;
  bmp.bytes = readFile(kDir + "/" + name);
  const auto& d = bmp.bytes;
  if (d.size() < 54) {
    ADD_FAILURE() << name << ": " << d.size() << " bytes, too short for a bitmap";
    return {};
  }
  bmp.width = int(le(d, 18, 4));
  bmp.height = int(le(d, 22, 4));
  const std::size_t stride = (std::size_t(bmp.width) * 3 + 3) & ~std::size_t(3);
  const std::size_t image = stride * std::size_t(bmp.height);
  struct Field {
    const char* what;
    std::uint32_t found, wanted;
  };
  const Field fields[] = {
      {"signature", le(d, 0, 2), 'B' | 'M' << 8},
      {"file size field", le(d, 2, 4), std::uint32_t(d.size())},
      {"header size (BITMAPINFOHEADER)", le(d, 14, 4), 40},
      {"rows run bottom-up (height > 0)", bmp.height > 0, 1},
      {"planes", le(d, 26, 2), 1},
      {"bits per pixel", le(d, 28, 2), 24},
      {"compression (BI_RGB)", le(d, 30, 4), 0},
      {"image size field", le(d, 34, 4), std::uint32_t(image)},
      {"horizontal pixels per metre", le(d, 38, 4), 3780},
      {"vertical pixels per metre", le(d, 42, 4), 3780},
      {"palette colours", le(d, 46, 4), 0},
      {"pixel data ends the file", le(d, 10, 4) + std::uint32_t(image), std::uint32_t(d.size())},
  };
  bool ok = true;
  for (const Field& f : fields) {
    if (f.found == f.wanted) continue;
    ADD_FAILURE() << name << ": " << f.what << " is " << f.found << ", not " << f.wanted;
    ok = false;
  }
  return ok ? bmp : Bmp{};
}

enum class Kind { Opaque, Keyed, Skin };

struct PictureCase {
  const char* file;
  int width, height;
  Kind kind;
};

constexpr PictureCase kBitmaps[] = {
    {"skin.bmp", 420, 115, Kind::Skin},       {"close.bmp", 21, 23, Kind::Opaque},
    {"minimize.bmp", 21, 23, Kind::Opaque},   {"play.bmp", 16, 16, Kind::Keyed},
    {"stop.bmp", 16, 16, Kind::Keyed},        {"sound_on.bmp", 16, 16, Kind::Keyed},
    {"sound_off.bmp", 16, 16, Kind::Keyed},   {"button_face.bmp", 53, 18, Kind::Keyed},
};

TEST(PictureFiles, EveryBitmapHasItsSizeAndFormat) {
  for (const PictureCase& c : kBitmaps) {
    SCOPED_TRACE(c.file);
    const Bmp bmp = loadBmp(c.file);
    EXPECT_EQ(bmp.width, c.width);
    EXPECT_EQ(bmp.height, c.height);
  }
}

TEST(PictureFiles, KeyColourOnlyAroundTheKeyedPictures) {
  for (const PictureCase& c : kBitmaps) {
    SCOPED_TRACE(c.file);
    const Bmp bmp = loadBmp(c.file);
    if (bmp.width == 0) continue;
    int keyed = 0;
    for (int y = 0; y < bmp.height; ++y)
      for (int x = 0; x < bmp.width; ++x) keyed += bmp.at(x, y) == kKey;

    if (c.kind == Kind::Opaque) {
      EXPECT_EQ(keyed, 0) << "an opaque button must not hold the key colour";
    } else if (c.kind == Kind::Keyed) {
      // The window takes the key from the bottom-left pixel.
      EXPECT_EQ(bmp.at(0, bmp.height - 1), kKey);
      EXPECT_LT(keyed, bmp.width * bmp.height) << "nothing would show";
      // Key pixels only around the picture: each one reaches the border
      // through other key pixels, so none is a hole punched in the art.
      std::vector<bool> seen(std::size_t(bmp.width * bmp.height), false);
      std::queue<std::pair<int, int>> todo;
      const auto visit = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= bmp.width || y >= bmp.height) return;
        const std::size_t i = std::size_t(y * bmp.width + x);
        if (seen[i] || !(bmp.at(x, y) == kKey)) return;
        seen[i] = true;
        todo.push({x, y});
      };
      for (int x = 0; x < bmp.width; ++x) visit(x, 0), visit(x, bmp.height - 1);
      for (int y = 0; y < bmp.height; ++y) visit(0, y), visit(bmp.width - 1, y);
      int reached = 0;
      while (!todo.empty()) {
        const auto [x, y] = todo.front();
        todo.pop();
        ++reached;
        visit(x + 1, y), visit(x - 1, y), visit(x, y + 1), visit(x, y - 1);
      }
      EXPECT_EQ(reached, keyed) << "key-coloured pixels inside the art";
    }
  }
}

// The face's outline: opaque columns first..last in rows from..to; -1 for
// rows that are wholly transparent.
struct OutlineRows {
  int from, to;
  int first, last;
};

constexpr OutlineRows kOutline[] = {
    {0, 2, -1, -1},    {3, 3, 6, 108},     {4, 4, 4, 109},     {5, 5, 3, 110},     {6, 6, 3, 111},
    {7, 7, 2, 111},    {8, 11, 1, 111},    {12, 12, 1, 356},   {13, 13, 1, 357},   {14, 14, 1, 358},
    {15, 17, 1, 359},  {18, 18, 1, 413},   {19, 19, 1, 415},   {20, 20, 1, 416},   {21, 22, 1, 417},
    {23, 99, 1, 418},  {100, 102, 1, 359}, {103, 103, 1, 357}, {104, 108, 1, 111}, {109, 109, 2, 111},
    {110, 110, 3, 110}, {111, 111, 4, 109}, {112, 112, 5, 109}, {113, 114, -1, -1},
};

TEST(SkinOutline, EveryRowIsOpaqueExactlyBetweenItsEnds) {
  const Bmp skin = loadBmp("skin.bmp");
  ASSERT_EQ(skin.width, 420);
  ASSERT_EQ(skin.height, 115);
  int nextRow = 0;
  for (const OutlineRows& c : kOutline) {
    ASSERT_EQ(c.from, nextRow) << "the table must cover every row once";
    nextRow = c.to + 1;
    for (int y = c.from; y <= c.to; ++y) {
      std::string wrong;
      for (int x = 0; x < skin.width; ++x) {
        const bool want = c.first >= 0 && x >= c.first && x <= c.last;
        const bool opaque = !(skin.at(x, y) == kKey);
        if (want != opaque && wrong.size() < 200) wrong += " " + std::to_string(x) + (opaque ? "+" : "-");
      }
      EXPECT_TRUE(wrong.empty()) << "row " << y << ", columns opaque (+) or transparent (-) by mistake:" << wrong;
    }
  }
  EXPECT_EQ(nextRow, skin.height);
}

// What the window lays over each part of the face, and so what the face
// has to be there.
enum class Look { White, Dark, Light };

struct Region {
  const char* what;
  int x, y, w, h;
  Look look;
};

constexpr Region kRegions[] = {
    {"the field behind the logo", 7, 8, 100, 100, Look::White},
    {"behind the station line", 113, 21, 221, 21, Look::Dark},
    {"behind the title line", 113, 41, 223, 34, Look::Dark},
    {"behind the codec label", 308, 19, 46, 26, Look::Dark},
    {"behind the level meters", 336, 44, 15, 30, Look::Dark},
    {"behind the maker's link", 114, 83, 100, 17, Look::Light},
    {"behind the play, stop and sound buttons", 222, 82, 52, 16, Look::Light},
    {"the button column between the buttons", 361, 48, 56, 3, Look::Light},
};

int luma(Rgb c) { return (299 * c.r + 587 * c.g + 114 * c.b) / 1000; }

TEST(SkinLayout, EachPartOfTheWindowHasTheRightGround) {
  const Bmp skin = loadBmp("skin.bmp");
  ASSERT_EQ(skin.width, 420);
  for (const Region& r : kRegions) {
    int bad = 0;
    for (int y = r.y; y < r.y + r.h; ++y) {
      for (int x = r.x; x < r.x + r.w; ++x) {
        const Rgb c = skin.at(x, y);
        switch (r.look) {
          case Look::White: bad += !(c == Rgb{255, 255, 255}); break;
          // Yellow and grey text and the meters must stand out.
          case Look::Dark: bad += luma(c) > 70; break;
          // Blue link text must stand out.
          case Look::Light: bad += luma(c) < 170; break;
        }
      }
    }
    EXPECT_EQ(bad, 0) << r.what << ": pixels of the wrong kind";
  }
}

struct Placement {
  const char* file;
  int x, y;
};

constexpr Placement kPlacements[] = {
    {"minimize.bmp", 366, 24},
    {"close.bmp", 389, 24},
    {"button_face.bmp", 362, 52},
    {"button_face.bmp", 362, 73},
};

// The face carries the same buttons the window lays over it, so that the
// pictures' edges and corners meet what is around them.
TEST(SkinLayout, ButtonsOnTheFaceMatchThePicturesLaidOverThem) {
  const Bmp skin = loadBmp("skin.bmp");
  ASSERT_EQ(skin.width, 420);
  for (const Placement& p : kPlacements) {
    const Bmp picture = loadBmp(p.file);
    int off = 0;
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        const Rgb a = picture.at(x, y), b = skin.at(p.x + x, p.y + y);
        if (a == kKey) continue;
        // Antialiased corners blend with a ground that shades a little
        // from top to bottom.
        off += std::abs(a.r - b.r) > 8 || std::abs(a.g - b.g) > 8 || std::abs(a.b - b.b) > 8;
      }
    }
    EXPECT_EQ(off, 0) << p.file << " at " << p.x << "," << p.y << ": pixels unlike the face under them";
  }
}

// libjpeg's default handler exits the process; this one jumps back instead.
struct JpegErrors {
  jpeg_error_mgr base;
  std::jmp_buf back;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jpegFailed(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  cinfo->err->format_message(cinfo, errors->message);
  std::longjmp(errors->back, 1);
}

struct Jpeg {
  bool decoded = false;
  char error[JMSG_LENGTH_MAX] = {};
  int width = 0, height = 0, components = 0;
  J_COLOR_SPACE space = JCS_UNKNOWN;
  bool progressive = false, jfif = false;
  int densityUnit = 0, xDensity = 0, yDensity = 0;
  std::set<std::uint32_t> colours;
};

// Kept free of objects with destructors between setjmp and the jump.
void decodeJpeg(const std::vector<std::uint8_t>& bytes, Jpeg& out) {
  jpeg_decompress_struct cinfo{};
  JpegErrors errors{};
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = jpegFailed;
  if (setjmp(errors.back)) {
    std::snprintf(out.error, sizeof out.error, "%s", errors.message);
    jpeg_destroy_decompress(&cinfo);
    return;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  out.space = cinfo.jpeg_color_space;
  out.progressive = cinfo.progressive_mode;
  out.jfif = cinfo.saw_JFIF_marker;
  out.densityUnit = cinfo.density_unit;
  out.xDensity = cinfo.X_density;
  out.yDensity = cinfo.Y_density;
  jpeg_start_decompress(&cinfo);
  out.width = int(cinfo.output_width);
  out.height = int(cinfo.output_height);
  out.components = cinfo.output_components;
  std::array<JSAMPLE, 3 * 4096> row{};
  while (cinfo.output_scanline < cinfo.output_height && out.components == 3 && out.width <= 4096) {
    JSAMPROW rows[] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
    for (int x = 0; x < out.width; ++x)
      out.colours.insert(std::uint32_t(row[std::size_t(x) * 3]) << 16 | std::uint32_t(row[std::size_t(x) * 3 + 1]) << 8 |
                         row[std::size_t(x) * 3 + 2]);
  }
  if (cinfo.output_scanline == cinfo.output_height) jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  out.decoded = true;
}

// The frame markers before the scan, from the file's own segment lengths.
std::vector<int> frameMarkers(const std::vector<std::uint8_t>& d) {
  std::vector<int> found;
  std::size_t at = 2;  // after SOI
  while (at + 4 <= d.size() && d[at] == 0xff) {
    const int marker = d[at + 1];
    if (marker == 0xda) break;  // start of scan
    if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc) found.push_back(marker);
    at += 2 + ((std::size_t(d[at + 2]) << 8) | d[at + 3]);
  }
  return found;
}

TEST(Logo, IsABaselineJfifJpegOf100By100At96Dpi) {
  const std::vector<std::uint8_t> bytes = readFile(kDir + "/logo.jpg");
  ASSERT_GT(bytes.size(), 4u);
  ASSERT_EQ(bytes[0], 0xff);
  ASSERT_EQ(bytes[1], 0xd8);
  EXPECT_EQ(frameMarkers(bytes), std::vector<int>{0xc0}) << "one baseline frame (SOF0)";

  Jpeg jpeg;
  decodeJpeg(bytes, jpeg);
  ASSERT_TRUE(jpeg.decoded) << jpeg.error;
  EXPECT_EQ(jpeg.width, 100);
  EXPECT_EQ(jpeg.height, 100);
  EXPECT_EQ(jpeg.components, 3);
  EXPECT_EQ(jpeg.space, JCS_YCbCr);
  EXPECT_FALSE(jpeg.progressive);
  EXPECT_TRUE(jpeg.jfif);
  EXPECT_EQ(jpeg.densityUnit, 1) << "dots per inch";
  EXPECT_EQ(jpeg.xDensity, 96);
  EXPECT_EQ(jpeg.yDensity, 96);
  EXPECT_GT(jpeg.colours.size(), 200u) << "a picture, not a blank";
}

constexpr const char* kAllFiles[] = {"skin.bmp",     "close.bmp",     "minimize.bmp",    "play.bmp", "stop.bmp",
                                     "sound_on.bmp", "sound_off.bmp", "button_face.bmp", "logo.jpg"};

TEST(BuiltInPictures, AreTheCommittedFilesAndLoadAsImages) {
  ornivox_init_pictures();
  for (const char* name : kAllFiles) {
    SCOPED_TRACE(name);
    const QString path = QStringLiteral(":/pictures/") + QString::fromLatin1(name);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray built = file.readAll();
    const std::vector<std::uint8_t> committed = readFile(kDir + "/" + name);
    EXPECT_TRUE(built.size() == qsizetype(committed.size()) &&
                std::equal(committed.begin(), committed.end(), reinterpret_cast<const std::uint8_t*>(built.data())));
    const QImage image(path);
    EXPECT_FALSE(image.isNull());
  }
  const QImage skin(QStringLiteral(":/pictures/skin.bmp"));
  EXPECT_EQ(skin.size(), QSize(420, 115));
  EXPECT_EQ(QImage(QStringLiteral(":/pictures/logo.jpg")).size(), QSize(100, 100));
}

}  // namespace
