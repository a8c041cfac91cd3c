// The byte helpers every layer shares: blanks are the space and the control
// characters below it, and only ASCII letters change case, so the code
// page's letters (and UTF-8's bytes) keep their values.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/bytes.h"

namespace ornivox::text {
namespace {

using namespace std::string_view_literals;

TEST(TrimBlanks, EndsOnly) {
  struct Case {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"", ""},
      {" \t\r\n", ""},
      {"\x01\x1F x \x20", "x"},
      {"  a b  ", "a b"},           // blanks inside stay
      {"\x7F" "a\x7F", "\x7F" "a\x7F"},  // DEL is no blank
      {"\xA0" "a\xA0", "\xA0" "a\xA0"},  // nor the code page's no-break space
      {"\0a\0"sv, "a"},              // NUL counts as a control character
  };
  for (const Case& c : cases) EXPECT_EQ(TrimBlanks(c.in), c.out) << testing::PrintToString(std::string(c.in));
}

TEST(AsciiCase, OnlyAsciiLettersChange) {
  struct Case {
    std::string_view in;
    std::string_view lower;
    std::string_view upper;
  } cases[] = {
      {"", "", ""},
      {"Http://X.PLS", "http://x.pls", "HTTP://X.PLS"},
      {"@[`{", "@[`{", "@[`{"},                                  // the neighbours of the letter ranges
      {"\xDD\xFD\xDE\xFE", "\xDD\xFD\xDE\xFE", "\xDD\xFD\xDE\xFE"},  // İ ı Ş ş in code page 1254
      {"\xC4\xB0", "\xC4\xB0", "\xC4\xB0"},                      // İ in UTF-8
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AsciiLower(c.in), c.lower);
    EXPECT_EQ(AsciiUpper(c.in), c.upper);
  }
}

TEST(IgnoringAsciiCase, EqualsAndStartsWith) {
  struct Case {
    std::string_view text;
    std::string_view other;
    bool equals;
    bool startsWith;
  } cases[] = {
      {"", "", true, true},
      {"ICY 200 OK", "icy", false, true},
      {"Content-Type", "content-type", true, true},
      {"icy", "ICY 200", false, false},
      {"\xDD", "\xFD", false, false},  // İ and ı are no ASCII pair
      {"a", "A", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + std::string(c.other));
    EXPECT_EQ(EqualsIgnoringAsciiCase(c.text, c.other), c.equals);
    EXPECT_EQ(StartsWithIgnoringAsciiCase(c.text, c.other), c.startsWith);
  }
}

}  // namespace
}  // namespace ornivox::text
