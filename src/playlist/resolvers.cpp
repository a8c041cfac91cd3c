#include "playlist/resolvers.h"

namespace ornivox {

std::string PlaylistExtension(const std::string& source) {
  size_t slash = source.rfind('/');
  size_t dot = source.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = source.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

}  // namespace ornivox
