// The station settings file: the record layout, the file's name beside the
// executable, and how files that cannot be read fail.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "settings/settings.h"
#include "settings/station_record.h"

extern char** environ;

namespace ornivox {
namespace {

namespace fs = std::filesystem;

// A record built field by field: length byte, then the characters padded
// with `fill` to the field's capacity. Lengths may lie about the text.
struct FieldBytes {
  int length;
  std::string text;
};

std::string Field(const FieldBytes& field, std::size_t capacity, char fill) {
  std::string bytes(1, static_cast<char>(field.length));
  bytes += field.text.substr(0, capacity);
  bytes.resize(1 + capacity, fill);
  return bytes;
}

std::string Record(FieldBytes name, FieldBytes home, FieldBytes url, char fill = '\0') {
  std::string bytes = Field(name, 40, fill) + Field(home, 50, fill) + Field(url, 60, fill);
  EXPECT_EQ(bytes.size(), kStationRecordSize);
  return bytes;
}

FieldBytes Text(const std::string& text) { return {static_cast<int>(text.size()), text}; }

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "ornivox-settings-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = pattern;
    // Open to every user: some cases read as an unprivileged one.
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

  fs::path Write(const std::string& name, const std::string& bytes) const {
    const fs::path file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    EXPECT_TRUE(out) << file;
    return file;
  }

 private:
  fs::path path_;
};

std::string Contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The three fields a record sets, as the player keeps them.
struct Fields {
  std::string stationName;
  std::string playlistUrl;
  std::string homePage;
  StationFields into() { return {stationName, playlistUrl, homePage}; }
};

Fields Prefilled() {
  Fields state;
  state.stationName = "old name";
  state.playlistUrl = "http://old.example/list.pls";
  state.homePage = "old home";
  return state;
}

// ---------------------------------------------------------------------------
// The record, through the file.

struct RecordCase {
  const char* name;
  std::string content;
  bool changes;  // false: the three fields keep their values
  std::string stationName;
  std::string playlistUrl;
  std::string homePage;
};

const std::string kFull40(40, 'N');
const std::string kFull50(50, 'H');
const std::string kFull60(60, 'U');

std::vector<RecordCase> RecordCases() {
  const std::string normal =
      Record(Text("Dalga FM"), Text("www.dalga.example"), Text("http://127.0.0.1:8000/dalga.pls"));
  const std::string second = Record(Text("Second"), Text("second.example"), Text("http://127.0.0.1/2"));
  return {
      {"empty file", "", false, "", "", ""},
      {"one byte short of a record", normal.substr(0, 152), false, "", "", ""},
      {"one record", normal, true, "Dalga FM", "http://127.0.0.1:8000/dalga.pls", "www.dalga.example"},
      {"all lengths zero empty every field", Record({0, "stale"}, {0, "stale"}, {0, "stale"}, 'x'), true, "", "", ""},
      {"two records: the first counts", normal + second, true, "Dalga FM", "http://127.0.0.1:8000/dalga.pls",
       "www.dalga.example"},
      {"a partial second record is ignored", normal + second.substr(0, 100), true, "Dalga FM",
       "http://127.0.0.1:8000/dalga.pls", "www.dalga.example"},
      {"full-length fields", Record(Text(kFull40), Text(kFull50), Text(kFull60)), true, kFull40, kFull60, kFull50},
      // The length byte of the next field must not become a 41st character.
      {"full name followed by a short home page", Record(Text(kFull40), Text("h"), Text("u")), true, kFull40, "u",
       "h"},
      {"lengths over capacity are cut at the capacity",
       Record({255, std::string(40, 'a')}, {51, std::string(50, 'b')}, {61, std::string(60, 'c')}), true,
       std::string(40, 'a'), std::string(60, 'c'), std::string(50, 'b')},
      // The last field's cut is the record's end: nothing of the bytes after
      // it may show up.
      {"an over-long last field stops at the record's end", Record({1, "n"}, {1, "h"}, {200, kFull60}) + "TRAILER",
       true, "n", kFull60, "h"},
      {"left-over characters beyond a length are ignored",
       Record({5, "Radyo Eski Uzun Ad"}, {4, "home.old.example"}, {8, "http://x/longer/old/path"}, 'z'), true, "Radyo",
       "http://x", "home"},
      // Code page 1254 bytes, a NUL and a blank at the end: all taken over as
      // they are, with no conversion, terminator or trimming.
      {"bytes kept as they are",
       Record(Text("Dalgaton \xDE" "ark\xFD " "\xDD" "stanbul"), Text(std::string("a\0b ", 4)),
              Text("http://127.0.0.1/\xE7" "al")),
       true, "Dalgaton \xDE" "ark\xFD " "\xDD" "stanbul", "http://127.0.0.1/\xE7" "al", std::string("a\0b ", 4)},
  };
}

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

std::string TestName(const char* text) {
  std::string name;
  for (const char ch : std::string(text)) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

class RecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordTest, ReadsTheFirstRecordOnly) {
  const RecordCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir.Write("ornivox.dta", c.content);

  Fields state = Prefilled();
  ReadStationFile(file.string(), state.into());

  const Fields before = Prefilled();
  EXPECT_EQ(state.stationName, c.changes ? c.stationName : before.stationName);
  EXPECT_EQ(state.playlistUrl, c.changes ? c.playlistUrl : before.playlistUrl);
  EXPECT_EQ(state.homePage, c.changes ? c.homePage : before.homePage);

  // The in-memory decoder agrees with the file reader on every full record.
  if (c.content.size() >= kStationRecordSize) {
    const StationRecord decoded = DecodeStationRecord(c.content);
    EXPECT_EQ(decoded.stationName, state.stationName);
    EXPECT_EQ(decoded.playlistUrl, state.playlistUrl);
    EXPECT_EQ(decoded.homePage, state.homePage);
  }
}

INSTANTIATE_TEST_SUITE_P(Settings, RecordTest, ::testing::ValuesIn(RecordCases()),
                         [](const auto& info) { return TestName(info.param.name); });

TEST(SettingsFile, MissingFileChangesNothing) {
  TempDir dir;
  const fs::path parentIsFile = dir.Write("plain", "x") / "ornivox.dta";
  for (const fs::path& path : {dir.path() / "ornivox.dta", parentIsFile}) {
    Fields state = Prefilled();
    ReadStationFile(path.string(), state.into());
    EXPECT_EQ(state.stationName, Prefilled().stationName) << path;
    EXPECT_EQ(state.playlistUrl, Prefilled().playlistUrl) << path;
    EXPECT_EQ(state.homePage, Prefilled().homePage) << path;
    EXPECT_FALSE(fs::exists(path)) << "reading must not create " << path;
  }
}

TEST(SettingsFile, ReadingLeavesContentAndModificationTimeAlone) {
  TempDir dir;
  const std::string content = Record(Text("Dalga"), Text("home"), Text("http://127.0.0.1/")) + "tail";
  const fs::path file = dir.Write("ornivox.dta", content);
  // A time well in the past, so that any write would show.
  const timespec times[2] = {{1'000'000'000, 123'456'789}, {1'000'000'000, 123'456'789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0) << std::strerror(errno);

  Fields state = Prefilled();
  ReadStationFile(file.string(), state.into());
  ASSERT_EQ(state.stationName, "Dalga");

  struct stat after{};
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, times[1].tv_nsec);
  EXPECT_EQ(Contents(file), content);
}

TEST(SettingsFile, DirectoryOfThatNameIsAnError) {
  TempDir dir;
  const fs::path path = dir.path() / "ornivox.dta";
  fs::create_directory(path);
  Fields state = Prefilled();
  try {
    ReadStationFile(path.string(), state.into());
    FAIL() << "no error for a directory";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::is_a_directory);
    EXPECT_NE(std::string(error.what()).find(std::strerror(EISDIR)), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos) << error.what();
  }
  EXPECT_EQ(state.stationName, Prefilled().stationName);
}

// ---------------------------------------------------------------------------
// The file name beside the executable.

struct NameCase {
  const char* executable;
  const char* settings;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.executable; }

class NameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameTest, ReplacesTheLastExtensionOfTheFileName) {
  EXPECT_EQ(SettingsFileName(GetParam().executable), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(Settings, NameTest,
                         ::testing::Values(NameCase{"/usr/bin/ornivox", "/usr/bin/ornivox.dta"},
                                           NameCase{"/opt/ornivox/ornivox.exe", "/opt/ornivox/ornivox.dta"},
                                           NameCase{"/opt/ornivox-1.3/ornivox", "/opt/ornivox-1.3/ornivox.dta"},
                                           NameCase{"/opt/a.b/c.d/player.bin", "/opt/a.b/c.d/player.dta"},
                                           NameCase{"/srv/ornivox.tar.gz", "/srv/ornivox.tar.dta"},
                                           NameCase{"/srv/ornivox.", "/srv/ornivox.dta"},
                                           NameCase{"/srv/.ornivox", "/srv/.dta"},
                                           NameCase{"ornivox", "ornivox.dta"},
                                           NameCase{"./radyo.v2", "./radyo.dta"}),
                         [](const auto& info) { return TestName(info.param.executable); });

// ---------------------------------------------------------------------------
// Another process: the probe run as another user, or copied beside a file.

struct Outcome {
  bool finished = false;
  std::string out;
};

// Runs argv to its end, at most `limit`; a process still running then is
// killed and reported unfinished.
Outcome RunToEnd(const std::vector<std::string>& args, std::chrono::seconds limit = std::chrono::seconds(30)) {
  Outcome outcome;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return outcome;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return outcome;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool eof = false;
  while (!eof && std::chrono::steady_clock::now() < deadline) {
    pollfd fd{pipeFds[0], POLLIN, 0};
    if (::poll(&fd, 1, 200) <= 0) continue;
    char buffer[512];
    const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
    if (got <= 0) eof = true;
    else outcome.out.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(pipeFds[0]);
  if (!eof) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  outcome.finished = eof && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return outcome;
}

// Permission bits only stop a process that is not root.
std::vector<std::string> AsUnprivileged(std::vector<std::string> args) {
  if (::geteuid() != 0) return args;
  std::vector<std::string> wrapped{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  wrapped.insert(wrapped.end(), args.begin(), args.end());
  return wrapped;
}

std::string Ok(const std::string& name, const std::string& url, const std::string& home) {
  return "ok\n" + name + "\n" + url + "\n" + home + "\n";
}

std::string Error(int code, const std::string& path) {
  return "error " + std::to_string(code) + "\n" + path + ": " + std::strerror(code) + "\n";
}

struct PermissionCase {
  const char* name;
  fs::perms mode;
  bool written;  // false: no file at all
  bool readable;
};

void PrintTo(const PermissionCase& c, std::ostream* os) { *os << c.name; }

class PermissionTest : public ::testing::TestWithParam<PermissionCase> {};

TEST_P(PermissionTest, ReadsAsAnUnprivilegedUser) {
  const PermissionCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir.path() / "ornivox.dta";
  if (c.written) {
    dir.Write("ornivox.dta", Record(Text("Dalga"), Text("home"), Text("http://127.0.0.1/")));
    fs::permissions(file, c.mode);
  }
  // A copy in the open folder: the build tree may lie where that user
  // cannot reach.
  const fs::path probe = dir.path() / "settings_probe";
  fs::copy_file(ORNIVOX_SETTINGS_PROBE, probe);
  const Outcome outcome = RunToEnd(AsUnprivileged({probe.string(), "file", file.string()}));
  ASSERT_TRUE(outcome.finished) << outcome.out;
  if (!c.written)
    EXPECT_EQ(outcome.out, Ok("(kept)", "(kept)", "(kept)"));
  else if (c.readable)
    EXPECT_EQ(outcome.out, Ok("Dalga", "http://127.0.0.1/", "home"));
  else
    EXPECT_EQ(outcome.out, Error(EACCES, file.string()));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PermissionTest,
    ::testing::Values(
        // As installed beside a packaged program: nobody but root may write it.
        PermissionCase{"ReadOnly", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read, true, true},
        PermissionCase{"NoPermissionAtAll", fs::perms::none, true, false},
        PermissionCase{"Missing", fs::perms::none, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The whole chain from the running executable's path: a copy of the probe,
// renamed and put in a folder whose name has dots, finds its own file.
struct ChainCase {
  const char* executable;
  const char* settings;  // written beside it; "" for none
  bool directory;        // the settings name is a directory
};

void PrintTo(const ChainCase& c, std::ostream* os) { *os << c.executable << " / " << c.settings; }

class ReadiniTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(ReadiniTest, FindsTheFileBesideTheRunningExecutable) {
  const ChainCase& c = GetParam();
  TempDir dir;
  const fs::path folder = dir.path() / "ornivox-2.0.d";
  fs::create_directory(folder);
  const fs::path program = folder / c.executable;
  fs::copy_file(ORNIVOX_SETTINGS_PROBE, program);
  // A decoy with the folder's name: only the executable's own name counts.
  dir.Write("ornivox-2.0.dta", Record(Text("decoy"), Text("decoy"), Text("decoy")));
  const fs::path settings = folder / c.settings;
  if (c.directory)
    fs::create_directory(settings);
  else if (*c.settings)
    dir.Write(fs::path("ornivox-2.0.d") / c.settings, Record(Text("Beside"), Text("b.home"), Text("http://127.0.0.1/b")));

  const Outcome outcome = RunToEnd({program.string(), "readini"});
  ASSERT_TRUE(outcome.finished) << outcome.out;
  if (c.directory)
    EXPECT_EQ(outcome.out, Error(EISDIR, settings.string()));
  else if (*c.settings)
    EXPECT_EQ(outcome.out, Ok("Beside", "http://127.0.0.1/b", "b.home"));
  else
    EXPECT_EQ(outcome.out, Ok("(kept)", "(kept)", "(kept)"));
}

INSTANTIATE_TEST_SUITE_P(Settings, ReadiniTest,
                         ::testing::Values(ChainCase{"radyo.bin", "radyo.dta", false},
                                           ChainCase{"radyo", "radyo.dta", false},
                                           ChainCase{"radyo.v1.bin", "radyo.v1.dta", false},
                                           ChainCase{"radyo.bin", "", false},
                                           ChainCase{"radyo.bin", "radyo.dta", true}),
                         [](const auto& info) {
                           return TestName(info.param.executable) + "_" +
                                  (info.param.directory ? "directory" : *info.param.settings ? "file" : "none");
                         });

}  // namespace
}  // namespace ornivox
