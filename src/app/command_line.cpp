#include "app/command_line.h"

#include <filesystem>
#include <string_view>

#include "version/version_block.h"

namespace ornivox::app {

std::optional<int> AnswerAboutItself(int argc, const char* const* argv, std::ostream& out) {
  if (argc != 2) return std::nullopt;
  const std::string_view argument = argv[1];
  // The name it was started by: the command in /usr/bin for an installed
  // player, whatever the station's package calls it.
  const std::string name = std::filesystem::path(argv[0]).filename().string();
  if (argument == "--version") {
    const std::string version = version::OwnVersionText();
    out << name << ' ' << (version.empty() ? std::string("(no version block)") : version) << '\n';
    return 0;
  }
  if (argument == "--help") {
    out << "Usage: " << name << " [PLAYLIST]\n"
        << "Plays the station's stream in a small window.\n"
        << "PLAYLIST is a .pls, .m3u or .asx file to open instead of the station; while a\n"
        << "player already runs, it is handed to that player.\n"
        << "  --help     show this help and end\n"
        << "  --version  show the version and end\n";
    return 0;
  }
  return std::nullopt;
}

std::string ArgumentForRunningPlayer(const std::string& argument) {
  std::error_code error;
  const std::filesystem::path path(argument);
  if (argument.empty() || path.is_absolute() || !std::filesystem::exists(path, error)) return argument;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? argument : absolute.lexically_normal().string();
}

}  // namespace ornivox::app
