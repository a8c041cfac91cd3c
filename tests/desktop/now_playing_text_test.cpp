// The now-playing text and its record, without a display: the field rules,
// the two forms, the shared budget and the conversion into the record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/messenger_x11.h"
#include "desktop/now_playing.h"

namespace ornivox::desktop {
namespace {

using namespace std::string_literals;

constexpr std::string_view kSlogan = "Dalgaton Velmira.";

// The text with the station's slogan standing in for an empty title.
std::string Text(std::string_view station, std::string_view title, std::string_view link, bool show, bool playing,
                 std::string_view stationLine) {
  return NowPlayingText({station, title, link, show, playing, stationLine, kSlogan});
}

// The text's fields, split at the two-character separator; the last keeps
// the closing NUL.
std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find("\\0", start)) != std::string::npos; start = at + 2)
    out.push_back(text.substr(start, at - start));
  out.push_back(text.substr(start));
  return out;
}

// The record a text of ASCII characters gives: each byte, then a zero byte.
NowPlayingRecord AsciiRecord(std::string_view text) {
  NowPlayingRecord record{};
  for (std::size_t i = 0; i < text.size(); ++i) record[2 * i] = static_cast<std::uint8_t>(text[i]);
  return record;
}

TEST(NowPlayingText, BothFormsInFull) {
  struct Case {
    const char* name;
    bool show;
    bool playing;
    std::string text;
  };
  const Case cases[] = {
      {"Playing", true, true, "\\0Music\\01\\0{0} - {1}\\0Dalgaton\\0Song - host\\0\\0WMContentID\0"s},
      {"ShowWhileStopped", true, false, "\\0Music\\00\\0{1} - {2} - {0}\\0Dalgaton\\0Song - host\\0\\0WMContentID\0"s},
      {"HiddenWhilePlaying", false, true, "\\0Music\\00\\0{1} - {2} - {0}\\0Dalgaton\\0Song - host\\0\\0WMContentID\0"s},
      {"HiddenWhileStopped", false, false, "\\0Music\\00\\0{1} - {2} - {0}\\0Dalgaton\\0Song - host\\0\\0WMContentID\0"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Text("Dalgaton", "Song", "host", c.show, c.playing, "unused"), c.text);
  }
}

TEST(NowPlayingText, StationAndTitleFields) {
  const std::string slogan(kSlogan);
  const std::string title70(70, 't');
  struct Case {
    const char* name;
    std::string station;
    std::string title;
    std::string link;
    std::string stationLine;
    std::string wantStation;
    std::string wantTitle;
  };
  const Case cases[] = {
      {"CleanedTitle", "Dalgaton", "a__b  c\\d", "", "", "Dalgaton", "ab cd"},
      {"BlanksAroundUnderscoreStay", "Dalgaton", "a _ b", "", "", "Dalgaton", "a  b"},
      {"LongRunOfBlanks", "Dalgaton", "a      b", "", "", "Dalgaton", "a b"},
      {"BackslashAfterCollapse", "Dalgaton", "a \\ b", "", "", "Dalgaton", "a  b"},
      {"UpperCaseSchemeRemoved", "Dalgaton", "Song", "HTTP://Host/Path", "", "Dalgaton", "Song - host/path"},
      {"SchemeInsideLinkRemoved", "Dalgaton", "Song", "a http://B", "", "Dalgaton", "Song - a b"},
      {"OnlyAsciiLowerCased", "Dalgaton", "Song", "\xDD\xDEK.example", "", "Dalgaton", "Song - \xDD\xDEk.example"},
      {"TitleKeepsItsCase", "Dalgaton", "SONG", "", "", "Dalgaton", "SONG"},
      {"ControlCharactersTrimmed", "\t Dalgaton \r\n", "\x01 Song \x1F", " host\t", "", "Dalgaton", "Song - host"},
      {"HighBytesNotTrimmed", "Dalgaton", "\xA0Song\xA0", "", "", "Dalgaton", "\xA0Song\xA0"},
      {"EmptyTitleIsSlogan", "Dalgaton", "", "host", "", "Dalgaton", slogan + " - host"},
      {"BlankTitleIsSlogan", "Dalgaton", "  \t ", "", "", "Dalgaton", slogan},
      {"NoLinkNoDash", "Dalgaton", "Song", "  ", "", "Dalgaton", "Song"},
      // 8 + 21 + 70 > 80: the title keeps 80 - 21 - 8 = 51 characters.
      {"TitleCut", "Dalgaton", title70, "HTTP://radyo.ornek.com.tr", "", "Dalgaton",
       std::string(51, 't') + " - radyo.ornek.com.tr"},
      {"ExactlyTheBudget", "Dalgaton", std::string(51, 't'), "radyo.ornek.com.tr", "", "Dalgaton",
       std::string(51, 't') + " - radyo.ornek.com.tr"},
      {"CutCountsTheTrimmedTitle", "Dalgaton", "  " + std::string(72, 't') + "  ", "", "", "Dalgaton",
       std::string(72, 't')},
      // 60 + 23 > 80: no room for the title, and the station gives way to the link.
      {"NoRoomLeft", std::string(60, 's'), "Song", std::string(20, 'l'), "", std::string(57, 's'),
       " - " + std::string(20, 'l')},
      {"OneCharacterStation", "D", "Song", "", "Servis Yok", "Servis Yok", "Song"},
      {"TwoCharacterStation", "Da", "Song", "", "Yerel Deneme MP3", "Yerel Deneme MP3", "Song"},
      {"LineTextIsTrimmed", "", "Song", "", "  Ba\xF0lan\xFDyor... ", "Ba\xF0lan\xFDyor...", "Song"},
      {"ShortTestComesBeforeTrimming", "  x", "Song", "", "line", "x", "Song"},
      {"ThreeCharactersKept", "abc", "Song", "", "line", "abc", "Song"},
      // The window closing: no station, title or link.
      {"Closing", "", "", "", "Yerel Deneme MP3", "Yerel Deneme MP3", slogan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> fields = Fields(Text(c.station, c.title, c.link, true, true, c.stationLine));
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[4], c.wantStation);
    EXPECT_EQ(fields[5], c.wantTitle);
    EXPECT_EQ(fields[6], "");
    EXPECT_EQ(fields[7], "WMContentID\0"s);
  }
}

TEST(NowPlayingBuffer, ExampleByteForByte) {
  const std::string text = Text("Dalgaton", "Song", "host", true, true, "");
  ASSERT_EQ(text.size(), 60u);
  const NowPlayingRecord record = NowPlayingBuffer(text);
  const std::uint8_t head[] = {0x5C, 0x00, 0x30, 0x00, 0x4D, 0x00, 0x75, 0x00};
  const std::uint8_t tail[] = {0x49, 0x00, 0x44, 0x00, 0x00, 0x00};
  EXPECT_TRUE(std::equal(std::begin(head), std::end(head), record.begin()));
  EXPECT_TRUE(std::equal(std::begin(tail), std::end(tail), record.begin() + 114));
  EXPECT_EQ(record, AsciiRecord(text));
  for (std::size_t i = 120; i < record.size(); ++i) ASSERT_EQ(record[i], 0) << "byte " << i;
}

TEST(NowPlayingBuffer, Conversion) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::uint16_t> units;  // the rest of the record is zero
  };
  const Case cases[] = {
      {"Ascii", "ab", {'a', 'b'}},
      {"TurkishLetters", "\xDE\xFE\xDD\xFD\xD0\xF0", {0x015E, 0x015F, 0x0130, 0x0131, 0x011E, 0x011F}},
      {"CodePageSpecials", "\x80\x9C\xA0\xFF", {0x20AC, 0x0153, 0x00A0, 0x00FF}},
      {"NulInside", "a\0b"s, {'a', 0, 'b'}},
      {"Empty", "", {}},
      {"FullRoom", std::string(127, 'x'), std::vector<std::uint16_t>(127, 'x')},
      {"OneTooMany", std::string(128, 'x'), {}},
      {"FarTooMany", std::string(1000, '\xFE'), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NowPlayingRecord want{};
    for (std::size_t i = 0; i < c.units.size(); ++i) {
      want[2 * i] = static_cast<std::uint8_t>(c.units[i] & 0xFF);
      want[2 * i + 1] = static_cast<std::uint8_t>(c.units[i] >> 8);
    }
    EXPECT_EQ(NowPlayingBuffer(c.text), want);
  }
}

// A station over the budget is cut to it, as the title is: neither form
// overflows the record, so the cleared form always reaches the messenger.
TEST(NowPlayingBuffer, LongStationsAreCutToTheBudget) {
  struct Case {
    const char* name;
    std::size_t stationLength;
    std::string link;
    bool show;
    std::string wantStation;
    std::string wantTitle;
  };
  const Case cases[] = {
      {"PlayingFormAtTheBudget", 80, "", true, std::string(80, 's'), ""},
      {"PlayingFormOverTheBudget", 87, "", true, std::string(80, 's'), ""},
      {"ClearedFormAtTheBudget", 80, "", false, std::string(80, 's'), ""},
      {"ClearedFormOverTheBudget", 81, "", false, std::string(80, 's'), ""},
      {"FarTooLong", 300, "", false, std::string(80, 's'), ""},
      {"LinkKeepsItsRoom", 300, "host", false, std::string(73, 's'), " - host"},
      {"LinkOverTheBudget", 10, std::string(100, 'l'), false, "", " - " + std::string(77, 'l')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = Text(std::string(c.stationLength, 's'), "Song", c.link, c.show, true, "");
    const std::vector<std::string> fields = Fields(text);
    ASSERT_EQ(fields.size(), 8u);
    EXPECT_EQ(fields[2], c.show ? "1" : "0");
    EXPECT_EQ(fields[4], c.wantStation);
    EXPECT_EQ(fields[5], c.wantTitle);
    EXPECT_EQ(NowPlayingBuffer(text), AsciiRecord(text));
  }
}

// Without a display the record has nowhere to go, and that is no error.
TEST(NowPlayingDelivery, NoDisplay) {
  unsetenv("DISPLAY");
  MessengerLink link;
  EXPECT_FALSE(link.send(kNowPlayingKey, NowPlayingBuffer("x")));
  EXPECT_FALSE(SendNowPlaying(link, {"Dalgaton", "Song", "host", true, true, "", kSlogan}));
  EXPECT_FALSE(SendNowPlaying(link, {"", "", "", false, false, "Servis Yok", kSlogan}));
}

}  // namespace
}  // namespace ornivox::desktop
