// The program's version block: a fixed-file-info record the build puts into
// an ELF section of its own in each executable (see EmbedVersion.cmake), and
// the reader that finds it again in an executable file.
//
// Threads: any; nothing here keeps state between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ornivox::version {

inline constexpr std::string_view kSectionName = ".ornivox_version";
inline constexpr std::uint32_t kSignature = 0xFEEF04BDu;
// Fields version 1.0, as the record's readers elsewhere expect.
inline constexpr std::uint32_t kStructVersion = 0x00010000u;

// Thirteen little-endian 32-bit words, in this order.
struct FixedFileInfo {
  std::uint32_t signature = 0;
  std::uint32_t structVersion = 0;
  std::uint32_t fileVersionMS = 0;  // major << 16 | minor
  std::uint32_t fileVersionLS = 0;  // release << 16 | build
  std::uint32_t productVersionMS = 0;
  std::uint32_t productVersionLS = 0;
  std::uint32_t fileFlagsMask = 0;
  std::uint32_t fileFlags = 0;
  std::uint32_t fileOS = 0;
  std::uint32_t fileType = 0;
  std::uint32_t fileSubtype = 0;
  std::uint32_t fileDateMS = 0;
  std::uint32_t fileDateLS = 0;
};
inline constexpr std::size_t kFixedFileInfoSize = 13 * 4;

// Random access to an executable's bytes. read() is all or nothing: false
// when any of [offset, offset + size) lies beyond the end.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  virtual bool read(std::uint64_t offset, void* out, std::size_t size) const = 0;
};

// The record of the version section of an ELF image, or nothing when the
// image is no ELF file, has no such section, or the section is cut short,
// lies outside the image or does not start with kSignature.
std::optional<FixedFileInfo> FindFixedFileInfo(const ByteSource& image);
std::optional<FixedFileInfo> FindFixedFileInfo(std::span<const unsigned char> image);
// The same for a file; nothing when it cannot be opened.
std::optional<FixedFileInfo> ReadFixedFileInfo(const std::string& path);

// "major.minor.release" of the file version, in decimal; the build number
// is left out.
std::string VersionText(const FixedFileInfo& info);

// The version text of an executable file, or "" when it has no valid block.
std::string FileVersionText(const std::string& path);
// The version text of the running program's own executable file.
std::string OwnVersionText();

}  // namespace ornivox::version
