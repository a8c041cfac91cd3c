// The window's status rules, worked out on the state alone.
#include <gtest/gtest.h>

#include <string>

#include "player/status.h"
#include "station/identity.h"

namespace ornivox {
namespace {

struct Case {
  const char* name;
  int code;
  StatusParam param;
  std::string stationBefore;
  std::string titleBefore;
  // Expected
  std::optional<std::string> stationLine;
  std::optional<std::string> titleLine;
  bool repaint;
  std::optional<std::string> broadcastTitle;
  std::string stationAfter;
  std::string titleAfter;
};

const std::string kSlogan(station::kSlogan);
const std::string k58(58, 'x');

const Case kCases[] = {
    {"connecting", PS_CONNECTING, {}, "Dalgaton", "old", "Ba\xF0lan\xFDyor...", kSlogan, false, kSlogan, "Dalgaton", "old"},
    {"no service", PS_NO_SERVICE, {}, "Dalgaton", "old", "Servis Yok", std::nullopt, false, std::nullopt, "Dalgaton", "old"},
    {"buffering", PS_BUFFERING, {42, {}}, "", "", "Y\xFCkleniyor... 42%", std::nullopt, true, std::nullopt, "", ""},
    {"buffering above 100", PS_BUFFERING, {1000, {}}, "", "", "Y\xFCkleniyor... 1000%", std::nullopt, true, std::nullopt, "", ""},
    // The sender's number is 32 bits, shown signed.
    {"buffering negative", PS_BUFFERING, {0xFFFFFFF6, {}}, "", "", "Y\xFCkleniyor... -10%", std::nullopt, true, std::nullopt, "", ""},
    {"buffering low 32 bits", PS_BUFFERING, {0x100000005, {}}, "", "", "Y\xFCkleniyor... 5%", std::nullopt, true, std::nullopt, "", ""},
    {"station fills an empty name", PS_STATION, {0, "Radyo X  "}, "", "", "Radyo X", std::nullopt, false, std::nullopt, "Radyo X", ""},
    {"station keeps a set name", PS_STATION, {0, "Radyo X"}, "Dalgaton", "", "Dalgaton", std::nullopt, false, std::nullopt, "Dalgaton", ""},
    {"station trims a set name too", PS_STATION, {0, "Radyo X"}, "Kendi Ad\xFD  ", "", "Kendi Ad\xFD", std::nullopt, false, std::nullopt, "Kendi Ad\xFD", ""},
    {"station keeps tabs", PS_STATION, {0, "Tab\t"}, "", "", "Tab\t", std::nullopt, false, std::nullopt, "Tab\t", ""},
    {"station all blanks", PS_STATION, {0, "   "}, "", "", "", std::nullopt, false, std::nullopt, "", ""},
    {"title", PS_TITLE, {0, "Sezen Aksu - Gid\xFDyorum"}, "", "old", std::nullopt, "Sezen Aksu - Gid\xFDyorum", false, "Sezen Aksu - Gid\xFDyorum", "", "Sezen Aksu - Gid\xFDyorum"},
    {"title trimmed", PS_TITLE, {0, "Song   "}, "", "old", std::nullopt, "Song", false, "Song", "", "Song"},
    {"title of 58", PS_TITLE, {0, k58}, "", "old", std::nullopt, k58, false, k58, "", k58},
    {"title cut to 58", PS_TITLE, {0, k58 + "yz"}, "", "old", std::nullopt, k58, false, k58, "", k58},
    // Blanks are trimmed before the cut, so a blank at 59 does not count.
    {"title trimmed then cut", PS_TITLE, {0, k58.substr(0, 57) + "ab   "}, "", "old", std::nullopt, k58.substr(0, 57) + "a", false, k58.substr(0, 57) + "a", "", k58.substr(0, 57) + "a"},
    {"title cut leaves a trailing blank", PS_TITLE, {0, std::string(57, 'x') + " y"}, "", "old", std::nullopt, std::string(57, 'x') + " ", false, std::string(57, 'x') + " ", "", std::string(57, 'x') + " "},
    {"empty title changes no line", PS_TITLE, {0, ""}, "", "old", std::nullopt, std::nullopt, false, std::nullopt, "", ""},
    {"blank title changes no line", PS_TITLE, {0, "    "}, "", "old", std::nullopt, std::nullopt, false, std::nullopt, "", ""},
    {"unknown code 4", 4, {0, "x"}, "Dalgaton", "old", std::nullopt, std::nullopt, false, std::nullopt, "Dalgaton", "old"},
    {"unknown code -1", -1, {0, "x"}, "Dalgaton", "old", std::nullopt, std::nullopt, false, std::nullopt, "Dalgaton", "old"},
};

class StatusRules : public testing::TestWithParam<Case> {};

TEST_P(StatusRules, Effect) {
  const Case& c = GetParam();
  PlayerState state;
  state.stationName = c.stationBefore;
  state.currentTitle = c.titleBefore;
  state.messengerSuffix = "http://suffix.example/";
  const StatusEffect effect = ApplyPlayerStatus(state, c.code, c.param);
  EXPECT_EQ(effect.stationLine, c.stationLine);
  EXPECT_EQ(effect.titleLine, c.titleLine);
  EXPECT_EQ(effect.repaintStationLine, c.repaint);
  ASSERT_EQ(effect.nowPlaying.has_value(), c.broadcastTitle.has_value());
  if (effect.nowPlaying) {
    EXPECT_EQ(effect.nowPlaying->title, *c.broadcastTitle);
    EXPECT_EQ(effect.nowPlaying->suffix, "http://suffix.example/");
  }
  EXPECT_EQ(state.stationName, c.stationAfter);
  EXPECT_EQ(state.currentTitle, c.titleAfter);
}

INSTANTIATE_TEST_SUITE_P(Codes, StatusRules, testing::ValuesIn(kCases), [](const auto& info) {
  std::string n = info.param.name;
  for (char& ch : n)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
});

TEST(TrimTrailingSpaces, OnlyTrailingCode32) {
  struct T {
    std::string in, out;
  } cases[] = {{"", ""}, {"   ", ""}, {"a  ", "a"}, {"  a", "  a"}, {"a \t", "a \t"}, {"a\t  ", "a\t"}, {"a b ", "a b"}, {std::string("a\0 ", 3), std::string("a\0", 2)}};
  for (auto& t : cases) {
    std::string s = t.in;
    TrimTrailingSpaces(s);
    EXPECT_EQ(s, t.out) << "input '" << t.in << "'";
  }
}

}  // namespace
}  // namespace ornivox
