#pragma once

#include <string>

namespace ornivox::testsupport {

// A folder of the test's own under /tmp, removed with everything in it when
// the object goes. The name stays short: socket paths inside it must fit in
// 108 bytes. Throws std::system_error when it cannot be made.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix = "ornivox");
    ~ScratchDir();

    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Writes `bytes` as the file `name` in the folder; its path.
    std::string write(const std::string& name, const std::string& bytes) const;

    // Points XDG_RUNTIME_DIR of this process, and so of the children it
    // starts, here. A player's single-instance lock and hand-over endpoint
    // live in that folder, so tests that run side by side then never meet
    // each other's player.
    void becomeRuntimeDir() const;

private:
    std::string path_;
};

}  // namespace ornivox::testsupport
