#include "version/version_block.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace ornivox::version {
namespace {

constexpr unsigned char kElfClass32 = 1;
constexpr unsigned char kElfClass64 = 2;
constexpr unsigned char kElfLittle = 1;
constexpr unsigned char kElfBig = 2;
constexpr std::uint32_t kSectionNoBits = 8;
constexpr std::uint32_t kSectionIndexEscape = 0xffff;  // the real index is in section 0
constexpr std::uint32_t kSectionIndexReserved = 0xff00;

// Where the fields sit in the two ELF classes.
struct Layout {
  std::size_t headerSize, shoff, shentsize, shnum, shstrndx, addressWidth;
  std::size_t entryBytes, nameAt, typeAt, offsetAt, sizeAt, linkAt;
};
constexpr Layout kLayout32{52, 32, 46, 48, 50, 4, 40, 0, 4, 16, 20, 24};
constexpr Layout kLayout64{64, 40, 58, 60, 62, 8, 64, 0, 4, 24, 32, 40};

class Decoder {
 public:
  explicit Decoder(bool big) : big_(big) {}
  std::uint64_t get(const unsigned char* p, std::size_t width) const {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) v |= std::uint64_t{p[big_ ? width - 1 - i : i]} << (8 * i);
    return v;
  }

 private:
  bool big_;
};

struct Section {
  std::uint32_t name = 0;
  std::uint32_t type = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint32_t link = 0;
};

// True when [offset, offset + length) lies inside [0, total), without
// overflowing on hostile values.
bool inside(std::uint64_t offset, std::uint64_t length, std::uint64_t total) {
  return offset <= total && length <= total - offset;
}

class ElfReader {
 public:
  explicit ElfReader(const ByteSource& image) : image_(image), decoder_(false) {}

  std::optional<FixedFileInfo> find() {
    std::array<unsigned char, 64> header{};
    if (!image_.read(0, header.data(), 16)) return std::nullopt;
    if (std::memcmp(header.data(), "\x7f" "ELF", 4) != 0) return std::nullopt;
    if (header[4] == kElfClass32)
      layout_ = &kLayout32;
    else if (header[4] == kElfClass64)
      layout_ = &kLayout64;
    else
      return std::nullopt;
    if (header[5] != kElfLittle && header[5] != kElfBig) return std::nullopt;
    decoder_ = Decoder(header[5] == kElfBig);
    if (!image_.read(0, header.data(), layout_->headerSize)) return std::nullopt;

    shoff_ = decoder_.get(&header[layout_->shoff], layout_->addressWidth);
    shentsize_ = decoder_.get(&header[layout_->shentsize], 2);
    std::uint64_t count = decoder_.get(&header[layout_->shnum], 2);
    std::uint64_t namesIndex = decoder_.get(&header[layout_->shstrndx], 2);
    if (shoff_ == 0 || shentsize_ < layout_->entryBytes) return std::nullopt;

    // Files with very many sections keep the count and the names' index in
    // the first entry.
    if (count == 0 || namesIndex == kSectionIndexEscape) {
      const auto first = entry(0, ~std::uint64_t{0});
      if (!first) return std::nullopt;
      if (count == 0) count = first->size;
      if (namesIndex == kSectionIndexEscape) namesIndex = first->link;
    } else if (namesIndex >= kSectionIndexReserved) {
      return std::nullopt;
    }
    // The whole table inside the file bounds every loop below.
    if (count == 0 || count > image_.size() / shentsize_ || !inside(shoff_, count * shentsize_, image_.size()))
      return std::nullopt;

    const auto names = entry(namesIndex, count);
    if (!names || names->type == kSectionNoBits || !inside(names->offset, names->size, image_.size()))
      return std::nullopt;

    for (std::uint64_t i = 0; i < count; ++i) {
      const auto section = entry(i, count);
      if (!section || !named(*section, *names)) continue;
      return record(*section);
    }
    return std::nullopt;
  }

 private:
  std::optional<Section> entry(std::uint64_t index, std::uint64_t count) const {
    if (index >= count) return std::nullopt;
    std::array<unsigned char, 64> raw{};
    const std::uint64_t at = shoff_ + index * shentsize_;
    if (!inside(at, layout_->entryBytes, image_.size()) || !image_.read(at, raw.data(), layout_->entryBytes))
      return std::nullopt;
    Section s;
    s.name = static_cast<std::uint32_t>(decoder_.get(&raw[layout_->nameAt], 4));
    s.type = static_cast<std::uint32_t>(decoder_.get(&raw[layout_->typeAt], 4));
    s.offset = decoder_.get(&raw[layout_->offsetAt], layout_->addressWidth);
    s.size = decoder_.get(&raw[layout_->sizeAt], layout_->addressWidth);
    s.link = static_cast<std::uint32_t>(decoder_.get(&raw[layout_->linkAt], 4));
    return s;
  }

  bool named(const Section& section, const Section& names) const {
    std::array<char, kSectionName.size() + 1> raw{};
    if (!inside(section.name, raw.size(), names.size)) return false;
    if (!image_.read(names.offset + section.name, raw.data(), raw.size())) return false;
    return std::string_view(raw.data(), kSectionName.size()) == kSectionName && raw.back() == '\0';
  }

  std::optional<FixedFileInfo> record(const Section& section) const {
    if (section.type == kSectionNoBits || section.size < kFixedFileInfoSize ||
        !inside(section.offset, section.size, image_.size()))
      return std::nullopt;
    std::array<unsigned char, kFixedFileInfoSize> raw{};
    if (!image_.read(section.offset, raw.data(), raw.size())) return std::nullopt;
    std::array<std::uint32_t, 13> words{};
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::uint32_t>(decoder_.get(&raw[i * 4], 4));
    if (words[0] != kSignature) return std::nullopt;
    FixedFileInfo info;
    std::uint32_t* fields[] = {&info.signature,        &info.structVersion,   &info.fileVersionMS, &info.fileVersionLS,
                               &info.productVersionMS, &info.productVersionLS, &info.fileFlagsMask, &info.fileFlags,
                               &info.fileOS,           &info.fileType,         &info.fileSubtype,   &info.fileDateMS,
                               &info.fileDateLS};
    for (std::size_t i = 0; i < words.size(); ++i) *fields[i] = words[i];
    return info;
  }

  const ByteSource& image_;
  Decoder decoder_;
  const Layout* layout_ = nullptr;
  std::uint64_t shoff_ = 0;
  std::uint64_t shentsize_ = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, void* out, std::size_t size) const override {
    if (!inside(offset, size, bytes_.size())) return false;
    if (size != 0) std::memcpy(out, bytes_.data() + offset, size);
    return true;
  }

 private:
  std::span<const unsigned char> bytes_;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<std::uint64_t>(st.st_size);
  }
  ~FileSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool usable() const { return fd_ >= 0 && size_ > 0; }
  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t offset, void* out, std::size_t size) const override {
    if (!inside(offset, size, size_)) return false;
    auto* dst = static_cast<unsigned char*>(out);
    while (size > 0) {
      const ssize_t got = ::pread(fd_, dst, size, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      // A file that shrank since it was measured ends the read here.
      if (got <= 0) return false;
      dst += got;
      offset += static_cast<std::uint64_t>(got);
      size -= static_cast<std::size_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

}  // namespace

std::optional<FixedFileInfo> FindFixedFileInfo(const ByteSource& image) { return ElfReader(image).find(); }

std::optional<FixedFileInfo> FindFixedFileInfo(std::span<const unsigned char> image) {
  return FindFixedFileInfo(MemorySource(image));
}

std::optional<FixedFileInfo> ReadFixedFileInfo(const std::string& path) {
  const FileSource file(path);
  if (!file.usable()) return std::nullopt;
  return FindFixedFileInfo(file);
}

std::string VersionText(const FixedFileInfo& info) {
  return std::to_string(info.fileVersionMS >> 16) + "." + std::to_string(info.fileVersionMS & 0xffff) + "." +
         std::to_string(info.fileVersionLS >> 16);
}

std::string FileVersionText(const std::string& path) {
  const auto info = ReadFixedFileInfo(path);
  return info ? VersionText(*info) : std::string();
}

std::string OwnVersionText() { return FileVersionText("/proc/self/exe"); }

}  // namespace ornivox::version
