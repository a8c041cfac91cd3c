// The desktop icons: the station's logo at each of the usual hicolor sizes.
#pragma once

#include <filesystem>
#include <vector>

#include "draw.h"

namespace ornivox::pictures {

// The sizes the desktop's icon theme looks for, in pixels a side.
inline const std::vector<int> kIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

// A baseline or progressive JPEG file as RGB. Throws when it is none.
Bitmap readJpeg(const std::filesystem::path& path);

// The picture at size x size: averaged over the pixels each new one covers
// when it shrinks, interpolated between neighbours when it grows. A picture
// that is not square is centred on a white square first.
Bitmap scaledSquare(const Bitmap& picture, int size);

// PNG, 8-bit RGB, no interlacing. Throws on I/O errors.
void writePng(const std::filesystem::path& path, const Bitmap& bitmap);

}  // namespace ornivox::pictures
