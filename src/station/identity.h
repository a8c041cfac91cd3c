// The station this build serves: its name, slogan and addresses, fixed when
// the program is built from a station kit (stations/<name>/station.conf; the
// demo program has the local demo station's). Texts are 8-bit, code page 1254 (ASCII is
// safe).
//
// What needs these texts links ornivox_station_identity; the program it ends
// up in decides which station's texts come with it (station/CMakeLists.txt).
#pragma once

#include <string>
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

// The maker's site, told which station's listener comes:
// "http://" + kMakerAddress + "?ornivox=" + `stationName`.
std::string MakerSiteAddress(std::string_view stationName);

}  // namespace ornivox::station
