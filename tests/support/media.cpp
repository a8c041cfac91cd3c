#include "support/media.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "support/fixture_paths.h"
#include "support/process.h"

namespace ornivox::testsupport {
namespace {

using namespace std::chrono_literals;

// Another process may be making the media right now; a cold run takes ~1 s.
constexpr auto kLockTimeout = 120s;
constexpr auto kMakeTimeout = 120s;

std::string chooseDir() {
    if (const char* env = std::getenv("ORNIVOX_MEDIA_DIR"); env && *env) return env;
    std::error_code ec;
    std::filesystem::create_directories(ORNIVOX_MEDIA_BUILD_DIR, ec);
    if (!ec && ::access(ORNIVOX_MEDIA_BUILD_DIR, W_OK) == 0) return ORNIVOX_MEDIA_BUILD_DIR;
    return "/tmp/ornivox-media-" + std::to_string(::getuid());
}

class DirLock {
public:
    explicit DirLock(const std::string& dir) {
        const std::string path = dir + "/.lock";
        fd_ = ::open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        const auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::close(fd_);
                throw std::runtime_error("timed out waiting for " + path);
            }
            std::this_thread::sleep_for(50ms);  // flock has no timed wait
        }
    }
    ~DirLock() { ::close(fd_); }  // closing releases the lock
    DirLock(const DirLock&) = delete;
    DirLock& operator=(const DirLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

std::string mediaDir() {
    static std::mutex mutex;
    static std::string made;
    std::lock_guard guard(mutex);
    if (!made.empty()) return made;

    std::string dir = chooseDir();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw std::runtime_error("cannot create " + dir + ": " + ec.message());
    DirLock lock(dir);
    ChildProcess make({"/bin/bash", fixturePath("make_media.sh"), dir});
    make.closeStdin();
    auto code = make.waitExit(kMakeTimeout);
    make.stop();
    if (code != 0)
        throw std::runtime_error("make_media.sh " + dir + " failed (exit " +
                                 (code ? std::to_string(*code) : std::string("time-out")) + ")");
    made = dir;
    return made;
}

std::string mediaFile(std::string_view name) { return mediaDir() + "/" + std::string(name); }

}  // namespace ornivox::testsupport
