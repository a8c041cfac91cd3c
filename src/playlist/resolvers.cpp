#include "playlist/resolvers.h"

#include "text/bytes.h"

namespace ornivox {

std::string PlaylistExtension(const std::string& source) {
  size_t slash = source.rfind('/');
  size_t dot = source.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return text::AsciiLower(std::string_view(source).substr(dot));
}

}  // namespace ornivox
