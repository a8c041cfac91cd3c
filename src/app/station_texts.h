// The station this build serves, fixed per build through CMake options (see
// station_texts.cpp.in). Texts are 8-bit, code page 1254 (ASCII is safe).
#pragma once

#include <string_view>

namespace ornivox::station {

extern const std::string_view kBrand;
extern const std::string_view kSlogan;
extern const std::string_view kHomePage;
extern const std::string_view kPlaylistUrl;
// A host name, written without a scheme.
extern const std::string_view kMakerAddress;
// The host (and port, if any) of the station's song request page, written
// without a scheme.
extern const std::string_view kWebHost;

// The main window's caption and the single-instance name.
inline constexpr std::string_view kInstanceName = "Lodosfil";
inline constexpr std::string_view kUserAgent = "LODOSFIL";

}  // namespace ornivox::station
