// The two file formats the player reads its pictures from.
#pragma once

#include <filesystem>

#include "draw.h"

namespace ornivox::pictures {

// Uncompressed 24-bit Windows bitmap, bottom-up, 96 dpi. Throws on I/O errors.
void writeBmp(const std::filesystem::path& path, const Bitmap& bitmap);

// Baseline JFIF JPEG, 96 dpi, full-resolution colour (4:4:4, so the logo's
// small coloured details keep their edges). Throws on I/O errors.
void writeJpeg(const std::filesystem::path& path, const Bitmap& bitmap, int quality);

}  // namespace ornivox::pictures
