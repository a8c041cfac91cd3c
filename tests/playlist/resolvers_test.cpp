#include "playlist/resolvers.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <fstream>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

#include "support/scratch_dir.h"

namespace ornivox {
namespace {

using Resolver = void (*)(const std::string&, std::string&, std::string&);


struct Case {
  const char* name;
  Resolver resolve;
  std::string content;
  std::string title;
  std::string url;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Outputs start empty, as the station opener empties them before the call.
class ResolveTest : public testing::TestWithParam<Case> {};

// A megabyte line is written into a row as {MB} (1 MB of 'x') or
// {MB_BLANKS} (1 MB of blanks) and made only when its row runs: the table is
// built when the program starts, even for a run that asks for one other
// test, and megabytes copied then cost seconds under the thread checker.
std::string Expand(std::string text) {
  static constexpr struct {
    std::string_view token;
    char fill;
  } kTokens[] = {{"{MB}", 'x'}, {"{MB_BLANKS}", ' '}};
  for (const auto& [token, fill] : kTokens) {
    for (auto at = text.find(token); at != std::string::npos; at = text.find(token, at + (1 << 20)))
      text.replace(at, token.size(), std::string(1 << 20, fill));
  }
  return text;
}

TEST_P(ResolveTest, Gives) {
  const Case& c = GetParam();
  const testsupport::ScratchDir dir("ornivox-playlist");
  std::string title;
  std::string url;
  c.resolve(dir.write("list", Expand(c.content)), title, url);
  EXPECT_EQ(title, Expand(c.title));
  EXPECT_EQ(url, Expand(c.url));
}

std::string CaseName(const testing::TestParamInfo<Case>& info) { return info.param.name; }

const std::string kBom = "\xEF\xBB\xBF";
constexpr char kBinaryBytes[] = "\x00\xFF\x7F\x01\r\x89PNG\x1A\n\x00\x00=\x00\xFE";
const std::string kBinary(kBinaryBytes, sizeof kBinaryBytes - 1);

const Case kPls[] = {
    {"Basic", ResolvePls,
     "[playlist]\nNumberOfEntries=1\nFile1=http://host:8000/live\nTitle1=Radyo Dalga\nLength1=-1\nVersion=2\n",
     "Radyo Dalga", "http://host:8000/live"},
    {"KeysInAnyCase", ResolvePls, "FILE1=http://host/a\ntitle1=x\n", "x", "http://host/a"},
    {"LaterEqualsSignsStayInTheValue", ResolvePls, "File1=http://host/?x=1&y==2\n", "", "http://host/?x=1&y==2"},
    {"BlankAfterEqualsStays", ResolvePls, "File1= http://host/a\nTitle1= T \t\n", " T \t", " http://host/a"},
    {"BlankBeforeEqualsIsAnotherKey", ResolvePls, "File1 =http://host/a\n Title1=T\n", "", ""},
    {"FirstFile1Wins", ResolvePls, "File1=http://first/\nTitle1=One\nFile1=http://second/\nTitle1=Two\n", "One",
     "http://first/"},
    {"OnlyTheFirstEntryCounts", ResolvePls,
     "[playlist]\nFile2=http://second/\nTitle2=Two\nFile1=http://first/\nNumberOfEntries=2\n", "", "http://first/"},
    {"NoTitle1GivesEmptyTitle", ResolvePls, "[playlist]\nFile1=http://host/a\n", "", "http://host/a"},
    {"NoFile1GivesEmptyUrl", ResolvePls, "[playlist]\nTitle1=T\n", "T", ""},
    {"NoSectionHeader", ResolvePls, "File1=http://host/a\nTitle1=T", "T", "http://host/a"},
    {"WindowsLineEnds", ResolvePls, "[playlist]\r\nFile1=http://host/a\r\nTitle1=T\r\n", "T", "http://host/a"},
    {"CarriageReturnsOnly", ResolvePls, "[playlist]\rFile1=http://host/a\rTitle1=T\r", "T", "http://host/a"},
    {"MixedLineEnds", ResolvePls, "[playlist]\n\rFile1=http://host/a\r\r\nTitle1=T", "T", "http://host/a"},
    {"ByteOrderMarkBeforeHeader", ResolvePls, kBom + "[playlist]\r\nFile1=http://host/a\r\n", "", "http://host/a"},
    {"ByteOrderMarkIsPartOfTheFirstKey", ResolvePls, kBom + "File1=http://host/a\nTitle1=T\n", "T", ""},
    {"BlankLines", ResolvePls, "\n\n[playlist]\n\n\nFile1=http://host/a\n\n\nTitle1=T\n\n", "T", "http://host/a"},
    {"HttpsAndRelativeValuesAreTakenAsTheyAre", ResolvePls, "File1=https://host/a\n", "", "https://host/a"},
    {"RelativePath", ResolvePls, "File1=../music/song.mp3\nTitle1=Song\n", "Song", "../music/song.mp3"},
    {"OnlyAsciiLettersFold", ResolvePls, "F\xDDLE1=http://dotted/\nf\xFDle1=http://dotless/\nFile1=http://plain/\n",
     "", "http://plain/"},
    {"CodePageBytesKept", ResolvePls, "Title1=\xDE\xFE" "ark\xFD \xC7" "al\n", "\xDE\xFE" "ark\xFD \xC7" "al", ""},
    {"HugeLines", ResolvePls, "File1=http://host/{MB}\nTitle1={MB}\n", "{MB}", "http://host/{MB}"},
    {"NotAPlaylist", ResolvePls, "Dear listener,\nthis is a letter.\n", "", ""},
    {"Binary", ResolvePls, kBinary, "", ""},
    {"EmptyFile", ResolvePls, "", "", ""},
};
INSTANTIATE_TEST_SUITE_P(Pls, ResolveTest, testing::ValuesIn(kPls), CaseName);

const Case kM3u[] = {
    {"TitleThenLastAddress", ResolveM3u, "#EXTM3U\n#EXTINF:-1,Station A\nhttp://host/one\nhttp://host/two\n",
     "Station A", "http://host/two"},
    {"LowerCaseMarker", ResolveM3u, "#extinf:-1,x\n", "x", ""},
    {"MarkerCountedFromLineStart", ResolveM3u, " #EXTINF:-1,x\n", ",x", ""},
    {"ByteOrderMarkCountsAsCharacters", ResolveM3u, kBom + "#EXTINF:-1,x\n", "-1,x", ""},
    {"RealDurationIsNoTitle", ResolveM3u, "#EXTINF:213,Artist - Song\nhttp://host/a\n", "", "http://host/a"},
    {"LastTitleWins", ResolveM3u, "#EXTINF:-1,One\n#EXTINF:-1,Two\n", "Two", ""},
    {"TitleUntrimmed", ResolveM3u, "#EXTINF:-1, Two  \t\n", " Two  \t", ""},
    {"EmptyTitle", ResolveM3u, "#EXTINF:-1,\n", "", ""},
    {"AddressWholeLineInItsOwnCase", ResolveM3u, "\t HTTP://Host/A?b=C \n", "", "\t HTTP://Host/A?b=C "},
    {"OneLineSetsBoth", ResolveM3u, "#EXTINF:-1,Listen http://host/a\n", "Listen http://host/a",
     "#EXTINF:-1,Listen http://host/a"},
    {"HttpsIsNoAddress", ResolveM3u, "#EXTINF:-1,S\nhttps://host/a\n", "S", ""},
    {"OtherAddressFormsAreNoAddress", ResolveM3u, "mms://host/a\nrtsp://host/b\nsong.mp3\n/music/song.mp3\n", "",
     ""},
    {"EarlierHttpKeptWhenLaterAreNot", ResolveM3u, "http://host/a\nhttps://host/b\nsong.mp3\n", "", "http://host/a"},
    {"WindowsLineEnds", ResolveM3u, "#EXTM3U\r\n#EXTINF:-1,R\r\nhttp://host/a\r\n", "R", "http://host/a"},
    {"CarriageReturnsOnly", ResolveM3u, "#EXTM3U\r#EXTINF:-1,R\rhttp://host/a\r", "R", "http://host/a"},
    {"BlankLinesAndSeveralEntries", ResolveM3u,
     "#EXTM3U\n\n#EXTINF:-1,One\nhttp://host/1\n\n#EXTINF:-1,Two\nhttp://host/2\n\n", "Two", "http://host/2"},
    {"HugeLines", ResolveM3u, "#EXTINF:-1,{MB}\nhttp://host/{MB}", "{MB}", "http://host/{MB}"},
    {"NotAPlaylist", ResolveM3u, "[section]\nkey=value\n", "", ""},
    {"Binary", ResolveM3u, kBinary, "", ""},
};
INSTANTIATE_TEST_SUITE_P(M3u, ResolveTest, testing::ValuesIn(kM3u), CaseName);

const Case kAsx[] = {
    {"Basic", ResolveAsx,
     "<asx version=\"3.0\">\n<title>Radyo</title>\n<entry>\n<ref href=\"http://host/a\"/>\n</entry>\n</asx>\n",
     " Radyo ", "http://host/a"},
    {"IndentedWithTabs", ResolveAsx, "<asx>\n\t\t<ref href=\"http://host/a\"/>\n", "", "http://host/a"},
    {"EntryTitleBeforeRefWins", ResolveAsx,
     "<asx>\n<title>Document</title>\n<entry>\n<title>Entry</title>\n<ref href=\"http://host/a\"/>\n", " Entry ",
     "http://host/a"},
    {"TitleInCapitals", ResolveAsx, "<TITLE>Name</TITLE>\n", " Name ", ""},
    {"ClosingTagOnLaterLine", ResolveAsx, "<title>\nName\n</title>\n", "  ", ""},
    {"TitleKeepsItsCaseAndTextAroundTags", ResolveAsx, "  x<Title>Mixed CASE</tItLe>y\n", " Mixed CASE ", ""},
    {"RefWithEndTagIsNoAddress", ResolveAsx, "<ref href=\"http://host/a\"></ref>\n", "", ""},
    {"SingleQuotesAreNoAddress", ResolveAsx, "<ref href='http://host/a'/>\n", "", ""},
    {"SpacesAroundEqualsAndSlash", ResolveAsx, "<ref href = \"http://host/a\" />\n", "", "http://host/a"},
    {"SpacesInsideAddressLost", ResolveAsx, "<ref href=\"http://host/my song.mp3\"/>\n", "", "http://host/mysong.mp3"},
    {"TabAfterEqualsShiftsTheAddress", ResolveAsx, "<ref href=\t\"http://host/a\"/>\n", "", "\"http://host/a"},
    {"EarlierEmptyElementSuppliesTheAddress", ResolveAsx,
     "<moreinfo href=\"http://info/\"/>\n<ref href=\"http://host/a\"/>\n", "", "http://info/"},
    {"AddressInItsOwnCase", ResolveAsx, "<REF HREF=\"HTTP://Host/A\"/>\n", "", "HTTP://Host/A"},
    {"FirstTitleAfterAddress", ResolveAsx,
     "<ref href=\"http://host/a\"/>\n<title>Later</title>\n<title>Latest</title>\n", " Later ", "http://host/a"},
    {"TitleAfterAddressIgnoredWhenOneCameBefore", ResolveAsx,
     "<title>Before</title>\n<ref href=\"http://host/a\"/>\n<title>After</title>\n", " Before ", "http://host/a"},
    {"FirstAddressOfSeveralEntries", ResolveAsx,
     "<entry><title>One</title><ref href=\"http://host/1\"/></entry>\n"
     "<entry><title>Two</title><ref href=\"http://host/2\"/></entry>\n",
     " One ", "http://host/1"},
    {"HrefWithoutEndSearchGoesOn", ResolveAsx, "<!-- list of href values -->\n<ref href=\"http://host/a\"/>\n", "",
     "http://host/a"},
    {"HttpsAndRelativeAddressesAreTaken", ResolveAsx, "<ref href=\"https://host/a\"/>\n", "", "https://host/a"},
    {"RelativeAddress", ResolveAsx, "<ref href=\"media/song.wma\"/>\n", "", "media/song.wma"},
    {"WindowsLineEnds", ResolveAsx, "<asx>\r\n<title>T</title>\r\n<ref href=\"http://host/a\"/>\r\n", " T ",
     "http://host/a"},
    {"CarriageReturnsOnly", ResolveAsx, "<asx>\r<title>T</title>\r<ref href=\"http://host/a\"/>\r", " T ",
     "http://host/a"},
    {"ByteOrderMark", ResolveAsx, kBom + "<title>T</title>\n<ref href=\"http://host/a\"/>\n", " T ", "http://host/a"},
    {"ControlCharactersAtLineEnds", ResolveAsx, "\x0B\x01<ref href=\"http://host/a\"/>\x0C\x1F", "",
     "http://host/a"},
    {"HugeLines", ResolveAsx, "<title>{MB}</title>\n<ref href=\"http://host/{MB_BLANKS}a\"/>\n", " {MB} ",
     "http://host/a"},
    {"NotAPlaylist", ResolveAsx, "<html><body>Not found</body></html>\n", "", ""},
    {"Binary", ResolveAsx, kBinary, "", ""},
};
INSTANTIATE_TEST_SUITE_P(Asx, ResolveTest, testing::ValuesIn(kAsx), CaseName);

struct Format {
  const char* name;
  Resolver resolve;
};

const Format kFormats[] = {{"Pls", ResolvePls}, {"M3u", ResolveM3u}, {"Asx", ResolveAsx}};

class NoFileTest : public testing::TestWithParam<Format> {};

// Runs the resolver on outputs that hold earlier values; they must still hold
// them afterwards, whether it returned or threw. Gives what it threw.
std::error_code OutputsKept(Resolver resolve, const std::string& file) {
  std::string title = "old title";
  std::string url = "old url";
  std::error_code thrown;
  try {
    resolve(file, title, url);
  } catch (const std::system_error& error) {
    thrown = error.code();
  }
  EXPECT_EQ(title, "old title") << file;
  EXPECT_EQ(url, "old url") << file;
  return thrown;
}

// Nothing found by M3U or ASX leaves whatever the outputs held.
TEST(NothingFound, M3uAndAsxKeepTheOutputs) {
  const testsupport::ScratchDir dir("ornivox-playlist");
  const std::string file = dir.write("list", "nothing here\n");
  EXPECT_FALSE(OutputsKept(ResolveM3u, file));
  EXPECT_FALSE(OutputsKept(ResolveAsx, file));
}

TEST(NothingFound, AsxLooksForNoAddressOnceItHasOne) {
  const testsupport::ScratchDir dir("ornivox-playlist");
  std::string title;
  std::string url = "http://kept/";
  ResolveAsx(dir.write("list.asx", "<ref href=\"http://host/a\"/>\n<title>T</title>\n"), title, url);
  EXPECT_EQ(url, "http://kept/");
  EXPECT_EQ(title, " T ");
}

// A directory of that name is no file either.
TEST_P(NoFileTest, NoFileOfThatNameLeavesTheOutputs) {
  const testsupport::ScratchDir dir("ornivox-playlist");
  const std::string directory = dir / "list.pls";
  std::filesystem::create_directory(directory);
  for (const std::string& name :
       {dir / "absent.pls", std::string(), std::string("http://host/list.pls"), directory})
    EXPECT_FALSE(OutputsKept(GetParam().resolve, name)) << name;
}

// A socket is there but cannot be opened, even by root.
TEST_P(NoFileTest, FileThatCannotBeOpenedThrows) {
  const testsupport::ScratchDir dir("ornivox-playlist");
  const std::string name = dir / "list";
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(name.size(), sizeof address.sun_path);
  name.copy(address.sun_path, name.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_TRUE(OutputsKept(GetParam().resolve, name));
  ::close(fd);
}

// Reading this process's memory from address 0 fails with an I/O error,
// whoever runs the test.
TEST_P(NoFileTest, FileThatCannotBeReadThrows) {
  EXPECT_EQ(OutputsKept(GetParam().resolve, "/proc/self/mem"), std::errc::io_error);
}

// Neither waited on nor read: a FIFO (opening it would wait for a writer)
// and a device that never ends are no playlists. Each resolve runs with a
// bound, so one that waits fails the test instead of hanging it.
TEST_P(NoFileTest, FifosAndDevicesAreNotWaitedOnOrRead) {
  using namespace std::chrono_literals;
  const testsupport::ScratchDir dir("ornivox-playlist");
  const std::string fifo = dir / "list.pls";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& name : {fifo, std::string("/dev/zero")}) {
    auto resolving = std::async(std::launch::async, [&] { return OutputsKept(GetParam().resolve, name); });
    const bool inTime = resolving.wait_for(10s) == std::future_status::ready;
    if (!inTime && name == fifo) {
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) ::close(writer);
    }
    EXPECT_TRUE(inTime) << name;
    EXPECT_FALSE(resolving.get()) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, NoFileTest, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<Format>& info) { return std::string(info.param.name); });

// A playlist is read up to its first four megabytes: an entry beyond them is
// not seen, one before them is, however long the file goes on.
TEST(LongFiles, OnlyTheFirstFourMegabytesAreRead) {
  struct Case {
    const char* what;
    std::string content;
    const char* url;
  };
  const std::string filler(5 * 1024 * 1024, '#');
  const Case cases[] = {
      {"entry first", "[playlist]\nFile1=http://early/\n" + filler + "\n", "http://early/"},
      {"entry after the first four megabytes", "[playlist]\n" + filler + "\nFile1=http://late/\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const testsupport::ScratchDir dir("ornivox-playlist");
    std::string title;
    std::string url;
    ResolvePls(dir.write("list.pls", c.content), title, url);
    EXPECT_EQ(url, c.url);
  }
}

struct Extension {
  const char* source;
  const char* expected;
};

const Extension kExtensions[] = {
    {"list.pls", ".pls"},          {"LIST.PLS", ".pls"},
    {"/a.b/list.M3u", ".m3u"},     {"/a.b/list", ""},
    {"list", ""},                  {"list.pls.txt", ".txt"},
    {"dir/.asx", ".asx"},          {"http://host/list.asx", ".asx"},
    {"list.", "."},                {"\xC7\xDD.PLS", ".pls"},
};

TEST(PlaylistExtension, LowerCasedFromTheLastDotAfterTheLastSlash) {
  for (const Extension& e : kExtensions) EXPECT_EQ(PlaylistExtension(e.source), e.expected) << e.source;
}

}  // namespace
}  // namespace ornivox
