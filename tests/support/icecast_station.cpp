#include "support/icecast_station.h"

#include <chrono>
#include <iostream>
#include <stdexcept>

#include "support/fixture_paths.h"
#include "support/json_lite.h"

namespace ornivox::testsupport {
namespace {

using namespace std::chrono_literals;

// The fixture gives up after 30 s itself; this covers its start and stop.
constexpr auto kReadyTimeout = 45s;
constexpr auto kCommandTimeout = 15s;
// Stopping waits for Icecast's own orderly shutdown, which can take seconds.
constexpr auto kStopGrace = 15s;

}  // namespace

std::unique_ptr<IcecastStation> IcecastStation::start(std::vector<std::string> mounts) {
    std::string list;
    for (const auto& m : mounts) list += (list.empty() ? "" : ",") + m;
    auto child = std::make_unique<ChildProcess>(std::vector<std::string>{
        kPython, "-B", fixturePath("icecast_station.py"), "--mounts", list});
    std::unique_ptr<IcecastStation> station(new IcecastStation(std::move(child)));

    auto line = station->child_->readLine(kReadyTimeout);
    if (!line) throw std::runtime_error("icecast_station.py gave no ready line");
    auto answer = JsonValue::parse(*line);
    if (!answer) throw std::runtime_error("icecast_station.py: unreadable answer: " + *line);
    if (!answer->getBool("ready"))
        throw std::runtime_error("icecast_station.py: " + answer->getString("error", *line));
    station->port_ = static_cast<int>(answer->getNumber("port"));
    station->adminUser_ = answer->getString("admin_user");
    station->adminPassword_ = answer->getString("admin_password");
    if (station->port_ <= 0) throw std::runtime_error("icecast_station.py: no port in " + *line);
    return station;
}

IcecastStation::~IcecastStation() {
    if (child_) child_->stop(kStopGrace);
}

std::string IcecastStation::url(std::string_view mount) const {
    std::string path(mount);
    if (path.empty() || path[0] != '/') path.insert(0, "/");
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

bool IcecastStation::setTitle(std::string_view mount, std::string_view utf8Title) {
    if (utf8Title.find_first_of("\r\n") != std::string_view::npos) return false;
    std::lock_guard lock(mutex_);
    std::string command = "title ";
    if (mount.empty() || mount[0] != '/') command += '/';
    command.append(mount).append(" ").append(utf8Title);
    if (!child_->writeLine(command)) return false;
    auto answer = child_->readLine(kCommandTimeout);
    if (answer && *answer == "ok") return true;
    std::cerr << "icecast_station.py: " << command << " -> " << answer.value_or("(no answer)") << "\n";
    return false;
}

}  // namespace ornivox::testsupport
