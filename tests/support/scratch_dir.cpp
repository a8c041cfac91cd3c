#include "support/scratch_dir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
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

std::string ScratchDir::write(const std::string& name, const std::string& bytes) const {
    const std::string file = *this / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file);
    return file;
}

void ScratchDir::becomeRuntimeDir() const {
    if (::setenv("XDG_RUNTIME_DIR", path_.c_str(), 1) != 0)
        throw std::system_error(errno, std::generic_category(), "setenv XDG_RUNTIME_DIR");
}

}  // namespace ornivox::testsupport
