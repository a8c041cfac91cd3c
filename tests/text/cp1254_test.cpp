// The program's code page on the toolkit's side: to and from UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "text/cp1254.h"

namespace ornivox {
namespace {

TEST(Cp1254, RoundTripsTurkishAndMarksTheRest) {
  struct T {
    std::string cp, utf8;
  } cases[] = {
      {"Ba\xF0lan\xFDyor...", "Bağlanıyor..."},
      {"Y\xFCkleniyor... 42%", "Yükleniyor... 42%"},
      {"\xDD\x73tek \xDE\xE7\xF6", "İstek Şçö"},
      {"", ""},
      {"\x80", "€"},
  };
  for (auto& t : cases) {
    EXPECT_EQ(text::cp1254ToUtf8(t.cp), t.utf8);
    EXPECT_EQ(text::utf8ToCp1254(t.utf8), t.cp);
  }
  // Characters the code page lacks, and bytes that are not UTF-8.
  EXPECT_EQ(text::utf8ToCp1254("a\xE2\x98\x83z"), "a?z");          // a snowman
  EXPECT_EQ(text::utf8ToCp1254("a\xFFz"), "a?z");
  EXPECT_EQ(text::utf8ToCp1254("a\xE2\x98"), "a?");                 // cut short
  EXPECT_EQ(text::cp1254ToUtf8("\x81"), "\xEF\xBF\xBD");            // unassigned
  const std::string big(100000, '\xFD');
  EXPECT_EQ(text::cp1254ToUtf8(big).size(), 200000u);
}

}  // namespace
}  // namespace ornivox
