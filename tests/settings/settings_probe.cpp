// Reads the settings the way the player does and prints the outcome, so the
// tests can watch it in another process: under another user, or as a copy
// renamed and moved beside a settings file.
//
//   settings_probe file PATH   the file at PATH
//   settings_probe readini     the file beside this executable
//
// Prints "ok", then the station name, playlist address and home page, one a
// line; or "error CODE" and the error's text. Fields start as "(kept)".
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "settings/settings.h"

int main(int argc, char** argv) {
  std::string stationName = "(kept)", playlistUrl = "(kept)", homePage = "(kept)";
  const ornivox::StationFields state{stationName, playlistUrl, homePage};
  try {
    if (argc == 3 && std::strcmp(argv[1], "file") == 0) {
      ornivox::ReadStationFile(argv[2], state);
    } else if (argc == 2 && std::strcmp(argv[1], "readini") == 0) {
      ornivox::Readini(state);
    } else {
      std::fprintf(stderr, "usage: %s file PATH | readini\n", argv[0]);
      return 2;
    }
  } catch (const std::system_error& error) {
    std::printf("error %d\n%s\n", error.code().value(), error.what());
    return 0;
  }
  std::printf("ok\n%s\n%s\n%s\n", stationName.c_str(), playlistUrl.c_str(), homePage.c_str());
  return 0;
}
