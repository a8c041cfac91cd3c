#include "station/identity.h"

namespace ornivox::station {

std::string MakerSiteAddress(std::string_view stationName) {
  std::string address = "http://";
  address.append(kMakerAddress).append("?ornivox=").append(stationName);
  return address;
}

}  // namespace ornivox::station
