#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "metadata/bitrate_rules.h"
#include "metadata/header_rules.h"
#include "metadata/stream_title.h"
#include "metadata/tag_list.h"
#include "metadata/tag_text.h"

namespace ornivox {
namespace {

using namespace std::string_literals;
using Entries = std::vector<std::string_view>;

// Whether `part` is a view into `whole`, not a copy.
bool ViewsInto(std::string_view part, std::string_view whole) {
  return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

TEST(StreamTitleOf, Cases) {
  struct Case {
    const char* name;
    std::string block;
    std::optional<std::string> title;
  };
  const Case cases[] = {
      {"ArtistAndSong", "StreamTitle='Artist - Song';StreamUrl='';", "Artist - Song"},
      {"SemicolonInside", "StreamTitle='Rock;Pop';", "Rock;Pop"},
      {"ApostropheInside", "StreamTitle='It's';", "It's"},
      {"QuoteSemicolonBeforeNonField", "StreamTitle='A';B';", "A';B"},
      {"NameWithoutEqualsDoesNotClose", "StreamTitle='a';b;", ""},
      {"NameRunningToTheEndDoesNotClose", "StreamTitle='a';StreamUrl", ""},
      {"EqualsWithoutName", "StreamTitle='a';='b';", "a';='b"},
      {"NameOfLettersDigitsDashAndUnderscore", "StreamTitle='a';x';Stream_Url-2='';", "a';x"},
      {"EmptyTitle", "StreamTitle='';", ""},
      {"NoSemicolon", "StreamTitle='abc'", ""},
      {"OnlyFieldName", "StreamTitle=", ""},
      {"OnlyOpeningQuote", "StreamTitle='", ""},
      {"AnyOpeningCharacter", "StreamTitle=\"Song';", "Song"},
      {"NulPaddingAfterTheEnd", "StreamTitle='Song';\0\0\0\0\0\0"s, "Song"},
      {"TextAfterPaddingDoesNotClose", "StreamTitle='a';\0\0x';"s, "a';\0\0x"s},
      {"NulInsideTitleKept", "StreamTitle='a\0b';"s, "a\0b"s},
      {"BlankBeforeNextField", "StreamTitle='x'; StreamUrl='';", "x"},
      {"BlanksAndTabBeforeNextField", "StreamTitle='x'; \t StreamUrl='';", "x"},
      {"BlankThenPadding", "StreamTitle='x'; \0\0"s, "x"},
      {"BlankBeforeNonField", "StreamTitle='a'; b';", "a'; b"},
      {"FieldAfterAnother", "StreamUrl='u';StreamTitle='T';", "T"},
      {"FirstOfTwoFields", "StreamTitle='one';StreamTitle='two';", "one"},
      {"HighBytesKept", "StreamTitle='\xDE" "ark\xFD';", "\xDE" "ark\xFD"},
      {"NoField", "StreamUrl='x';", std::nullopt},
      {"FieldNameCaseCounts", "streamtitle='x';", std::nullopt},
      {"EmptyBlock", "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(StreamTitleOf(c.block), c.title);
  }
}

TEST(TagTextForDisplay, Converted) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"TurkishWord", "\xC5\x9E" "ark\xC4\xB1", "\xDE" "ark\xFD"},
      {"SoftG", "\xC4\x9F", "\xF0"},
      {"DottedCapitalI", "\xC4\xB0", "\xDD"},
      {"Euro", "\xE2\x82\xAC", "\x80"},
      {"NoBreakSpace", "\xC2\xA0", "\xA0"},
      {"HanLacking", "\xE4\xB8\xAD", "?"},
      {"EmojiIsOneQuestionMark", "\xF0\x9F\x8E\xB5", "?"},
      {"MixedKeepsOrder", "\xC5\x9E \xE4\xB8\xAD \xC4\xB1!", "\xDE ? \xFD!"},
      {"LastBeforeSurrogates", "\xED\x9F\xBF", "?"},
      {"FirstThreeByteForm", "\xE0\xA0\x80", "?"},
      {"HighestCodePoint", "\xF4\x8F\xBF\xBF", "?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TagTextForDisplay(c.in), c.out);
  }
}

TEST(TagTextForDisplay, KeptByteForByte) {
  struct Case {
    const char* name;
    std::string text;
  };
  // Every malformed text starts with a valid UTF-8 "Ş" so that one taken for
  // UTF-8 by mistake would come out changed.
  const Case cases[] = {
      {"Ascii", "Artist - Song"},
      {"Empty", ""},
      {"Cp1254Bytes", "\xDE" "ark\xFD"},
      {"OverlongTwoBytes", "\xC5\x9E\xC0\xAF"},
      {"OverlongC1", "\xC5\x9E\xC1\xBF"},
      {"OverlongThreeBytes", "\xC5\x9E\xE0\x80\xAF"},
      {"OverlongFourBytes", "\xC5\x9E\xF0\x80\x80\xAF"},
      {"Surrogate", "\xC5\x9E\xED\xA0\x80"},
      {"PastHighestCodePoint", "\xC5\x9E\xF4\x90\x80\x80"},
      {"LeadByteF5", "\xC5\x9E\xF5\x80\x80\x80"},
      {"TruncatedAtEnd", "\xC5\x9E\xE4\xB8"},
      {"TruncatedBeforeAscii", "\xC5\x9E\xC5" "a"},
      {"LoneContinuation", "\xC5\x9E\x80"},
      {"ByteFF", "\xC5\x9E\xFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TagTextForDisplay(c.text), c.text);
  }
}

TEST(TagTextForDisplay, TurkishTitleOfFiftyEightLettersIsFiftyEightBytes) {
  // The title is cut at 58 bytes later on; in UTF-8 these letters are twice that.
  std::string title;
  for (int i = 0; i < 58; ++i) title += "\xC5\x9F";
  EXPECT_EQ(TagTextForDisplay(title), std::string(58, '\xFE'));
}

TEST(ScanHeaderList, Cases) {
  using Kind = HeaderAction::Kind;
  struct Case {
    const char* name;
    Entries entries;
    std::vector<std::pair<Kind, std::string_view>> actions;
  };
  const Case cases[] = {
      {"NameAndRate", {"ICY 200 OK", "icy-name:Radyo", "icy-br:128"}, {{Kind::Station, "Radyo"}, {Kind::KbpsLabel, ""}}},
      {"NameKeepsItsBlanks", {"icy-name: Radyo "}, {{Kind::Station, " Radyo "}}},
      {"EmptyName", {"icy-name:"}, {{Kind::Station, ""}}},
      {"EveryMatchInOrder", {"icy-br:64", "icy-name:One", "icy-name:Two"},
       {{Kind::KbpsLabel, ""}, {Kind::Station, "One"}, {Kind::Station, "Two"}}},
      {"CaseCounts", {"ICY-NAME:Radyo", "Icy-Br:128"}, {}},
      {"NeedsTheColon", {"icy-name Radyo", "icy-name", "icy-br=128", "icy-bra:1"}, {}},
      {"OtherEntries", {"icy-genre:Pop", "content-type:audio/mpeg", " icy-name:x"}, {}},
      {"NoEntries", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<HeaderAction> actions = ScanHeaderList(c.entries);
    ASSERT_EQ(actions.size(), c.actions.size());
    for (std::size_t i = 0; i < actions.size(); ++i) {
      EXPECT_EQ(actions[i].kind, c.actions[i].first) << i;
      if (actions[i].kind == Kind::Station) {
        EXPECT_EQ(actions[i].text, c.actions[i].second) << i;
      }
    }
  }
}

TEST(ScanHeaderList, StationTextViewsIntoItsEntry) {
  const std::string entry = "icy-name:Radyo";
  const std::vector<HeaderAction> actions = ScanHeaderList({entry});
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_TRUE(ViewsInto(actions[0].text, entry));
}

TEST(WmaTitles, Cases) {
  struct Case {
    const char* text;
    std::optional<std::string_view> title;
  };
  const Case cases[] = {
      {"title=Radyo", "Radyo"}, {"title= Radyo ", " Radyo "}, {"title=", ""},    {"Title=Radyo", std::nullopt},
      {"TITLE=Radyo", std::nullopt}, {"author=Someone", std::nullopt}, {"subtitle=x", std::nullopt},
      {"title", std::nullopt}, {"title:Radyo", std::nullopt}, {"", std::nullopt},
  };
  Entries list;
  std::vector<std::string_view> titles;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(WmaMetaTitle(c.text), c.title);
    list.push_back(c.text);
    if (c.title) titles.push_back(*c.title);
  }
  // The header list gives the same titles, every one, in order.
  EXPECT_EQ(WmaHeaderTitles(list), titles);
  EXPECT_TRUE(WmaHeaderTitles({}).empty());
}

TEST(TextAroundColon, Cases) {
  struct Case {
    std::string text;
    std::string_view before;
    std::string_view after;
  };
  const std::string longValue(300, 'v');
  const Case cases[] = {
      {"icy-br:128", "icy-br", "128"},
      {"a:b:c", "a", "b:c"},
      {"no colon", "no colon", "no colon"},
      {":x", "", "x"},
      {"x:", "x", ""},
      {"", "", ""},
      {"k:" + longValue, "k", std::string_view(longValue).substr(0, 255)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TextBefore(c.text, ':'), c.before);
    EXPECT_EQ(TextAfter(c.text, ':'), c.after);
  }
}

TEST(RateText, Cases) {
  struct Case {
    const char* name;
    std::optional<Entries> icy;
    std::optional<Entries> http;
    std::string rate;
  };
  const Case cases[] = {
      {"IcyRate", Entries{"icy-name:R", "icy-br:128"}, Entries{"ice-bitrate:64"}, "128"},
      {"LastIcyRateWins", Entries{"icy-br:64", "icy-br:128"}, std::nullopt, "128"},
      {"IcyListWithoutRateHidesHttp", Entries{"icy-name:R"}, Entries{"icy-br:128"}, ""},
      {"EmptyIcyListHidesHttp", Entries{}, Entries{"ice-bitrate:96"}, ""},
      {"IcyListIgnoresIceBitrate", Entries{"ice-bitrate:96"}, std::nullopt, ""},
      {"HttpIceBitrateFirst", std::nullopt, Entries{"ice-bitrate:96", "icy-br:128"}, "96"},
      {"HttpIcyBrFirst", std::nullopt, Entries{"Server: x", "icy-br:128", "ice-bitrate:96"}, "128"},
      {"HttpWithoutRate", std::nullopt, Entries{"Content-Type: audio/mpeg"}, ""},
      {"NoLists", std::nullopt, std::nullopt, ""},
      {"TrimmedOfBlanksAndControls", Entries{"icy-br: \t\x01" "128\r\n"}, std::nullopt, "128"},
      {"InnerBlankKept", Entries{"icy-br:128 64"}, std::nullopt, "128 64"},
      {"HighByteIsNotABlank", Entries{"icy-br:\xA0" "1\xA0"}, std::nullopt, "\xA0" "1\xA0"},
      {"OnlyTheFirstColonSplits", Entries{"icy-br:12:34"}, std::nullopt, "12:34"},
      {"EmptyValue", Entries{"icy-br:"}, std::nullopt, ""},
      {"NameMustMatchWhole", Entries{"icy-bra:1", "ICY-BR:2", "icy-br :3", "xicy-br:4"}, std::nullopt, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RateText(c.icy, c.http), c.rate);
  }
}

TEST(ParseRate, Cases) {
  struct Case {
    const char* text;
    std::int32_t rate;
  };
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const Case cases[] = {
      {"128", 128},         {"+128", 128},       {"-5", -5},          {"007", 7},    {"0", 0},
      {"2147483647", kMax}, {"-2147483648", kMin}, {"2147483648", 0}, {"99999999999", 0},
      {"128,64", 0},        {"12a", 0},          {"abc", 0},          {"", 0},       {"+", 0},
      {"-", 0},             {"++1", 0},          {"+-1", 0},          {"-+1", 0},    {" 128", 0},
      {"128 ", 0},          {"1.5", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseRate(c.text), c.rate);
  }
}

TEST(EstimateRate, Cases) {
  struct Case {
    std::uint32_t bytesPerMs;
    std::optional<DWORD> ctype;
    std::int32_t rate;
  };
  const Case cases[] = {
      {128, std::nullopt, 0},
      // WMA: a quarter, halves to the even neighbour.
      {6, 0x10300, 2},  {10, 0x10300, 2}, {14, 0x10300, 4}, {9, 0x10300, 2}, {11, 0x10300, 3},
      {8, 0x10300, 2},  {0, 0x10300, 0},  {2, 0x10300, 0},  {6, 0x10301, 2}, {11, 0x10301, 3},
      {128, 0x10b00, 0}, {128, 0x10b01, 0},
      {128, 0x10005, 128}, {40, 0x10002, 40}, {16, 0x12345, 16}, {0, 0x10005, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytesPerMs << " bytes/ms, type " << std::hex << c.ctype.value_or(0));
    EXPECT_EQ(EstimateRate(c.bytesPerMs, c.ctype), c.rate);
  }
}

TEST(CodecNameOf, Cases) {
  struct Case {
    DWORD ctype;
    std::string_view name;
  };
  const Case cases[] = {
      {0x10002, "ogg"}, {0x10003, "mp3"}, {0x10004, "mp3"}, {0x10005, "mp3"}, {0x10300, "wma"}, {0x10301, "wma"},
      {0x10b00, "aac"}, {0x10b01, "mp4"}, {0x10001, ""},    {0x10006, ""},    {0x10302, ""},    {0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.ctype);
    EXPECT_EQ(CodecNameOf(c.ctype), c.name);
  }
}

TEST(KbpsLabel, Cases) {
  struct Case {
    std::int32_t rate;
    std::string_view codec;
    std::string label;
  };
  const Case cases[] = {
      {128, "mp3", "128 kbps mp3"},
      {128, "", "128 kbps "},
      {0, "aac", "0 kbps aac"},
  };
  for (const Case& c : cases) EXPECT_EQ(KbpsLabel(c.rate, c.codec), c.label);
}

TEST(TagEntries, Cases) {
  struct Case {
    const char* name;
    std::string list;  // as the engine hands it over, with its ending NULs
    std::vector<std::string_view> entries;
  };
  const Case cases[] = {
      {"Two", "icy-name:R\0icy-br:128\0\0"s, {"icy-name:R", "icy-br:128"}},
      {"One", "title=x\0\0"s, {"title=x"}},
      {"StopsAtTheFirstEmptyText", "a\0\0b\0\0"s, {"a"}},
      {"Empty", "\0\0"s, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string_view> entries = TagEntries(c.list.c_str());
    EXPECT_EQ(entries, c.entries);
    for (std::string_view entry : entries) EXPECT_TRUE(ViewsInto(entry, c.list));
  }
  EXPECT_TRUE(TagEntries(nullptr).empty());
}

}  // namespace
}  // namespace ornivox
