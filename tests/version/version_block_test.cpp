// The version block reader against ELF images made here field by field, and
// against the built programs. This program itself carries no block.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "version/version_block.h"

namespace ornivox::version {
namespace {

// A small ELF image: header, section names, a decoy section, the version
// section, then the section header table (null, names, decoy, version).
struct Elf {
  bool is64 = true;
  bool big = false;
  std::vector<unsigned char> bytes;
  std::uint64_t shoff = 0;
  std::uint64_t blockOffset = 0;

  enum Index { kNull = 0, kNames = 1, kDecoy = 2, kVersion = 3, kCount = 4 };
  std::size_t entrySize() const { return is64 ? 64 : 40; }

  void put(std::uint64_t at, std::uint64_t value, std::size_t width) {
    if (bytes.size() < at + width) bytes.resize(at + width);
    for (std::size_t i = 0; i < width; ++i)
      bytes[at + (big ? width - 1 - i : i)] = static_cast<unsigned char>(value >> (8 * i));
  }
  std::size_t wide() const { return is64 ? 8 : 4; }

  // Header fields.
  void setShoff(std::uint64_t v) { put(is64 ? 40 : 32, v, wide()); }
  void setShentsize(std::uint64_t v) { put(is64 ? 58 : 46, v, 2); }
  void setShnum(std::uint64_t v) { put(is64 ? 60 : 48, v, 2); }
  void setShstrndx(std::uint64_t v) { put(is64 ? 62 : 50, v, 2); }
  // Section header fields.
  std::uint64_t entry(int index) const { return shoff + static_cast<std::uint64_t>(index) * entrySize(); }
  void setName(int i, std::uint32_t v) { put(entry(i), v, 4); }
  void setType(int i, std::uint32_t v) { put(entry(i) + 4, v, 4); }
  void setOffset(int i, std::uint64_t v) { put(entry(i) + (is64 ? 24 : 16), v, wide()); }
  void setSize(int i, std::uint64_t v) { put(entry(i) + (is64 ? 32 : 20), v, wide()); }
  void setLink(int i, std::uint32_t v) { put(entry(i) + (is64 ? 40 : 24), v, 4); }
};

constexpr std::uint32_t kProgBits = 1;
constexpr std::uint32_t kStrTab = 3;
constexpr std::uint32_t kNoBits = 8;

Elf MakeElf(bool is64, bool big, std::uint32_t ms, std::uint32_t ls, const std::string& sectionName = ".ornivox_version",
            std::uint32_t signature = kSignature) {
  Elf e;
  e.is64 = is64;
  e.big = big;
  const std::size_t header = is64 ? 64 : 52;
  e.bytes.assign(header, 0);
  const unsigned char ident[] = {0x7f, 'E', 'L', 'F', static_cast<unsigned char>(is64 ? 2 : 1),
                                 static_cast<unsigned char>(big ? 2 : 1), 1};
  std::copy(std::begin(ident), std::end(ident), e.bytes.begin());

  // Names: "", ".shstrtab", ".ornivox_ver" (a prefix, as a decoy), the name.
  const std::string names = std::string("\0.shstrtab\0.ornivox_ver\0", 24) + sectionName + '\0';
  const std::uint64_t namesAt = e.bytes.size();
  e.bytes.insert(e.bytes.end(), names.begin(), names.end());
  const std::uint64_t decoyAt = e.bytes.size();
  e.put(decoyAt, 0x12345678, 4);
  while (e.bytes.size() % 4) e.bytes.push_back(0);
  e.blockOffset = e.bytes.size();
  const std::uint32_t words[13] = {signature, kStructVersion, ms, ls, ms, ls, 0x3f, 0, 0, 1, 0, 0, 0};
  for (std::uint32_t w : words) e.put(e.bytes.size(), w, 4);
  while (e.bytes.size() % 8) e.bytes.push_back(0);

  e.shoff = e.bytes.size();
  e.bytes.resize(e.shoff + Elf::kCount * e.entrySize(), 0);
  e.setShoff(e.shoff);
  e.setShentsize(e.entrySize());
  e.setShnum(Elf::kCount);
  e.setShstrndx(Elf::kNames);
  e.setName(Elf::kNames, 1);
  e.setType(Elf::kNames, kStrTab);
  e.setOffset(Elf::kNames, namesAt);
  e.setSize(Elf::kNames, names.size());
  e.setName(Elf::kDecoy, 11);
  e.setType(Elf::kDecoy, kProgBits);
  e.setOffset(Elf::kDecoy, decoyAt);
  e.setSize(Elf::kDecoy, 4);
  e.setName(Elf::kVersion, 24);
  e.setType(Elf::kVersion, kProgBits);
  e.setOffset(Elf::kVersion, e.blockOffset);
  e.setSize(Elf::kVersion, kFixedFileInfoSize);
  return e;
}

// The version 2.10.7.15.
constexpr std::uint32_t kMs = (2u << 16) | 10u;
constexpr std::uint32_t kLs = (7u << 16) | 15u;

class TempFile {
 public:
  explicit TempFile(const std::vector<unsigned char>& bytes)
      : path_((std::filesystem::temp_directory_path() /
               ("ornivox-version-" + std::to_string(getpid()) + "-" + std::to_string(counter_++)))
                  .string()) {
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                  static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  std::string path_;
};

std::string TextOf(const std::vector<unsigned char>& bytes) {
  const auto info = FindFixedFileInfo(std::span<const unsigned char>(bytes));
  return info ? VersionText(*info) : std::string();
}

struct Case {
  const char* name;
  bool is64;
  bool big;
  std::function<Elf()> make;
  std::string expected;
};

Elf Plain(bool is64 = true, bool big = false) { return MakeElf(is64, big, kMs, kLs); }
template <typename F>
std::function<Elf()> Mutated(F change, bool is64 = true) {
  return [change, is64] {
    Elf e = Plain(is64);
    change(e);
    return e;
  };
}

TEST(VersionBlock, ImagesFromWellFormedToHostile) {
  const std::vector<Case> cases = {
      // Read back.
      {"64-bit little-endian", true, false, [] { return Plain(true, false); }, "2.10.7"},
      {"32-bit", false, false, [] { return Plain(false, false); }, "2.10.7"},
      {"big-endian", true, true, [] { return Plain(true, true); }, "2.10.7"},
      {"largest numbers", true, false, [] { return MakeElf(true, false, 0xffffffffu, 0xffffffffu); }, "65535.65535.65535"},
      {"zeros", true, false, [] { return MakeElf(true, false, 0, 0); }, "0.0.0"},
      {"section larger than the record", true, false, Mutated([](Elf& e) { e.setSize(Elf::kVersion, 60); }), "2.10.7"},
      {"count and names' index in section 0", true, false, Mutated([](Elf& e) {
         e.setShnum(0);
         e.setSize(Elf::kNull, Elf::kCount);
         e.setShstrndx(0xffff);
         e.setLink(Elf::kNull, Elf::kNames);
       }),
       "2.10.7"},
      // No section of that name.
      {"name longer than ours", true, false, [] { return MakeElf(true, false, kMs, kLs, ".ornivox_version2"); }, ""},
      {"other name", true, false, [] { return MakeElf(true, false, kMs, kLs, ".ornivox_versioN"); }, ""},
      {"name points at the decoy prefix", true, false, Mutated([](Elf& e) { e.setName(Elf::kVersion, 11); }), ""},
      {"name offset past the names", true, false, Mutated([](Elf& e) { e.setName(Elf::kVersion, 0xfffffff0u); }), ""},
      {"name runs past the names' end", true, false, Mutated([](Elf& e) { e.setSize(Elf::kNames, 30); }), ""},
      // A section that is not a record.
      {"wrong signature", true, false, [] { return MakeElf(true, false, kMs, kLs, ".ornivox_version", 0xFEEF04BC); }, ""},
      {"byte-swapped signature", true, false, [] { return MakeElf(true, false, kMs, kLs, ".ornivox_version", 0xBD04EFFE); },
       ""},
      {"record cut short", true, false, Mutated([](Elf& e) { e.setSize(Elf::kVersion, kFixedFileInfoSize - 1); }), ""},
      {"record in no file bytes", true, false, Mutated([](Elf& e) { e.setType(Elf::kVersion, kNoBits); }), ""},
      {"record past the end", true, false, Mutated([](Elf& e) { e.setOffset(Elf::kVersion, e.bytes.size() - 20); }), ""},
      {"record offset wraps", true, false, Mutated([](Elf& e) { e.setOffset(Elf::kVersion, ~std::uint64_t{0} - 8); }), ""},
      {"record size wraps", true, false, Mutated([](Elf& e) { e.setSize(Elf::kVersion, ~std::uint64_t{0}); }), ""},
      // A broken section table.
      {"no section table", true, false, Mutated([](Elf& e) { e.setShoff(0); }), ""},
      {"table past the end", true, false, Mutated([](Elf& e) { e.setShoff(e.bytes.size()); }), ""},
      {"table offset wraps", true, false, Mutated([](Elf& e) { e.setShoff(~std::uint64_t{0} - 100); }), ""},
      {"32-bit table offset past the end", false, false, Mutated([](Elf& e) { e.setShoff(0xfffffff0u); }, false), ""},
      {"more sections than the file holds", true, false, Mutated([](Elf& e) { e.setShnum(0xfeff); }), ""},
      {"entries smaller than a section header", true, false, Mutated([](Elf& e) { e.setShentsize(16); }), ""},
      {"names' index past the table", true, false, Mutated([](Elf& e) { e.setShstrndx(Elf::kCount); }), ""},
      {"names' index reserved", true, false, Mutated([](Elf& e) { e.setShstrndx(0xff00); }), ""},
      {"escaped count of zero", true, false, Mutated([](Elf& e) { e.setShnum(0); }), ""},
      {"escaped names' index past the table", true, false, Mutated([](Elf& e) {
         e.setShstrndx(0xffff);
         e.setLink(Elf::kNull, 99);
       }),
       ""},
      {"names past the end", true, false, Mutated([](Elf& e) { e.setOffset(Elf::kNames, e.bytes.size()); }), ""},
      {"names in no file bytes", true, false, Mutated([](Elf& e) { e.setType(Elf::kNames, kNoBits); }), ""},
      // Not an ELF file.
      {"bad magic", true, false, Mutated([](Elf& e) { e.bytes[1] = 'e'; }), ""},
      {"unknown class", true, false, Mutated([](Elf& e) { e.bytes[4] = 3; }), ""},
      {"unknown byte order", true, false, Mutated([](Elf& e) { e.bytes[5] = 0; }), ""},
      {"a script", true, false,
       [] {
         Elf e;
         const std::string text = "#!/bin/sh\necho ornivox 1.3.0\n";
         e.bytes.assign(text.begin(), text.end());
         return e;
       },
       ""},
      {"empty", true, false, [] { return Elf{}; }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Elf e = c.make();
    EXPECT_EQ(TextOf(e.bytes), c.expected);
    // The file reader takes the same path through the image.
    const TempFile file(e.bytes);
    EXPECT_EQ(FileVersionText(file.path()), c.expected);
  }
}

// The table sits at the end, so every shorter copy has lost part of it.
TEST(VersionBlock, EveryTruncatedCopyReadsAsNoVersion) {
  for (const bool is64 : {true, false}) {
    const Elf e = Plain(is64);
    ASSERT_EQ(TextOf(e.bytes), "2.10.7");
    for (std::size_t n = 0; n < e.bytes.size(); ++n) {
      const std::vector<unsigned char> cut(e.bytes.begin(), e.bytes.begin() + static_cast<std::ptrdiff_t>(n));
      ASSERT_EQ(TextOf(cut), "") << (is64 ? "64" : "32") << "-bit, " << n << " bytes";
    }
    const TempFile file(std::vector<unsigned char>(e.bytes.begin(), e.bytes.end() - 1));
    EXPECT_EQ(FileVersionText(file.path()), "");
  }
}

TEST(VersionBlock, WholeRecordIsReturned) {
  const auto info = FindFixedFileInfo(std::span<const unsigned char>(Plain(true, true).bytes));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->signature, kSignature);
  EXPECT_EQ(info->structVersion, kStructVersion);
  EXPECT_EQ(info->fileVersionMS, kMs);
  EXPECT_EQ(info->fileVersionLS, kLs);
  EXPECT_EQ(info->productVersionLS, kLs);
  EXPECT_EQ(info->fileType, 1u);
}

TEST(VersionBlock, FilesThatAreNoExecutable) {
  const auto dir = std::filesystem::temp_directory_path() / ("ornivox-version-dir-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  for (const std::string& path : {(dir / "missing").string(), dir.string(), std::string("/dev/null")}) {
    EXPECT_EQ(FileVersionText(path), "") << path;
    EXPECT_FALSE(ReadFixedFileInfo(path)) << path;
  }
  std::filesystem::remove_all(dir);
}

struct BuiltProgram {
  const char* path;
  const char* expected;
  std::uint32_t build;
};

// What the build wrote into the real executables, read from their files.
TEST(VersionBlock, BuiltProgramsCarryTheirVersions) {
  const BuiltProgram programs[] = {
      {ORNIVOX_PROGRAM, "1.3.0", 0},
      {ORNIVOX_DEMO_PROGRAM, "1.3.0", 0},
      {ORNIVOX_ABOUT_TESTS, "2.10.7", 15},
  };
  for (const BuiltProgram& p : programs) {
    SCOPED_TRACE(p.path);
    EXPECT_EQ(FileVersionText(p.path), p.expected);
    const auto info = ReadFixedFileInfo(p.path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->fileVersionLS & 0xffff, p.build);
    EXPECT_EQ(info->productVersionMS, info->fileVersionMS);
  }
  // Linked without ornivox_embed_version().
  EXPECT_EQ(OwnVersionText(), "");
}

}  // namespace
}  // namespace ornivox::version
