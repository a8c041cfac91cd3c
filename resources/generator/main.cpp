// ornivox-make-pictures OUTPUT-DIRECTORY
//   Draws every picture of the main window and writes them into the given
//   directory (made when missing). The same build writes the same bytes
//   every time, so the committed pictures can be checked against a fresh run.
// ornivox-make-pictures --icons LOGO.jpg OUTPUT-DIRECTORY
//   Writes the desktop icons made from a station's logo, one <size>.png for
//   each of the icon theme's sizes.
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "art.h"
#include "files.h"
#include "icons.h"

int main(int argc, char** argv) {
  using namespace ornivox::pictures;
  const bool icons = argc == 4 && std::string_view(argv[1]) == "--icons";
  if (argc != 2 && !icons) {
    const char* name = argc > 0 ? argv[0] : "ornivox-make-pictures";
    std::cerr << "usage: " << name << " OUTPUT-DIRECTORY\n       " << name << " --icons LOGO.jpg OUTPUT-DIRECTORY\n";
    return 2;
  }
  try {
    if (icons) {
      const Bitmap logo = readJpeg(argv[2]);
      const std::filesystem::path dir = argv[3];
      std::filesystem::create_directories(dir);
      for (int size : kIconSizes) writePng(dir / (std::to_string(size) + ".png"), scaledSquare(logo, size));
      return 0;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    for (const NamedBitmap& picture : drawWindow(1)) writeBmp(dir / picture.file, picture.bitmap);
    // For screens that show the window at twice its size: "name@2x.bmp",
    // the name the toolkit looks for.
    for (const NamedBitmap& picture : drawWindow(2)) {
      const std::filesystem::path file = picture.file;
      writeBmp(dir / (file.stem().string() + "@2x" + file.extension().string()), picture.bitmap);
    }
    writeJpeg(dir / "logo.jpg", drawLogo(), 90);
  } catch (const std::exception& e) {
    std::cerr << "ornivox-make-pictures: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
