// ornivox-make-pictures OUTPUT-DIRECTORY
//
// Draws every picture of the main window and writes them into the given
// directory (made when missing). The same build writes the same bytes every
// time, so the committed pictures can be checked against a fresh run.
#include <exception>
#include <filesystem>
#include <iostream>

#include "art.h"
#include "files.h"

int main(int argc, char** argv) {
  using namespace ornivox::pictures;
  if (argc != 2) {
    std::cerr << "usage: " << (argc > 0 ? argv[0] : "ornivox-make-pictures") << " OUTPUT-DIRECTORY\n";
    return 2;
  }
  try {
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    for (const NamedBitmap& picture : drawWindow()) writeBmp(dir / picture.file, picture.bitmap);
    writeJpeg(dir / "logo.jpg", drawLogo(), 90);
  } catch (const std::exception& e) {
    std::cerr << "ornivox-make-pictures: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
