// What the generator draws: the main window's face and the pictures laid
// over it, and the station logo.
#pragma once

#include <string>
#include <vector>

#include "draw.h"

namespace ornivox::pictures {

struct NamedBitmap {
  std::string file;
  Bitmap bitmap;
};

// The window's face (skin.bmp) and every picture the window lays over it,
// at `scale` pixels to the window's pixel. Pictures that sit on the skin are
// cut from it or drawn over a copy of it, so their antialiased edges blend
// into exactly the colours around them.
std::vector<NamedBitmap> drawWindow(int scale);

// The 16 x 16 play, stop and sound buttons, drawn over `under`, the piece
// of the face each one covers.
NamedBitmap drawPlay(const Canvas& under);
NamedBitmap drawStop(const Canvas& under);
NamedBitmap drawSoundOn(const Canvas& under);
NamedBitmap drawSoundOff(const Canvas& under);

// The 100 x 100 station logo.
Bitmap drawLogo();

}  // namespace ornivox::pictures
