#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "text/replace_all.h"

namespace ornivox::text {
namespace {

struct Case {
  const char* name;
  std::string text;
  std::string find;
  std::string replacement;
  std::string expected;
};

const Case kCases[] = {
    {"RunOfSpacesCollapsesInOneCall", "a    b", "  ", " ", "a b"},
    {"OddRunCollapsesToo", "a     b  c", "  ", " ", "a b c"},
    {"FindEqualToReplacementChangesNothing", "a  b", "  ", "  ", "a  b"},
    {"EmptyReplacementDeletesEveryOccurrence", " h r e f = x ", " ", "", "href=x"},
    {"EmptyFindChangesNothing", "abc", "", "x", "abc"},
    {"NoOccurrence", "abc", "z", "y", "abc"},
    {"CaseSensitive", "aAa", "a", "b", "bAb"},
    {"EmptyText", "", "a", "b", ""},
    // Each replacement forms a new occurrence with what lies before it:
    // searching from the start again finds it, a single pass would not.
    {"ReplacementMeetsTextBeforeIt", "aab", "ab", "b", "b"},
    {"DeletionJoinsNeighbours", "aabbb", "ab", "", "b"},
    {"LongerReplacementRescanned", "xaab", "ab", "bx", "xbxx"},
    {"WholeTextIsOneOccurrence", "abc", "abc", "", ""},
    {"HighBytesAreCharacters", "\xDE\xFE\xDE", "\xFE", "\xF0", "\xDE\xF0\xDE"},
    // A replacement holding find would be rewritten forever: each original
    // occurrence is replaced once.
    {"ReplacementContainingFindReplacesEachOnce", "a.b.c", ".", "..", "a..b..c"},
    {"ReplacementContainingFindAtEdges", "xx", "x", "yxy", "yxyyxy"},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ReplaceAllTest : public testing::TestWithParam<Case> {};

TEST_P(ReplaceAllTest, Gives) {
  const Case& c = GetParam();
  EXPECT_EQ(ReplaceAll(c.text, c.find, c.replacement), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplaceAllTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ReplaceAllLimits, MegabyteOfSpacesIsRemovedQuickly) {
  std::string text(1 << 20, ' ');
  text.insert(text.begin() + 1000, 'x');
  EXPECT_EQ(ReplaceAll(text, " ", ""), "x");
  EXPECT_EQ(ReplaceAll(text, "  ", " "), " x ");
}

TEST(ReplaceAllLimits, EndlessRewritingStopsWithTheTextSoFar) {
  // "ab" by "bbaa" keeps producing an "ab" in "aab" and never finishes.
  const std::string out = ReplaceAll("aab", "ab", "bbaa");
  EXPECT_GT(out.size(), 3u);
  EXPECT_NE(out.find("ab"), std::string::npos);
  EXPECT_LT(out.size(), std::size_t{1} << 26);
}

}  // namespace
}  // namespace ornivox::text
