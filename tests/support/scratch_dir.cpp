#include "support/scratch_dir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ornivox::testsupport {

ScratchDir::ScratchDir(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::becomeRuntimeDir() const {
    if (::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1) != 0)
        throw std::system_error(errno, std::generic_category(), "setenv XDG_RUNTIME_DIR");
}

}  // namespace ornivox::testsupport
