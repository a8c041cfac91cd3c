// Which resolver a source goes to: the lower-cased extension of its name.
#include <gtest/gtest.h>

#include "playlist/resolvers.h"

namespace ornivox {
namespace {

TEST(PlaylistExtension, LowerCasedFromTheLastDotOfTheName) {
  struct T {
    const char* in;
    const char* out;
  } cases[] = {
      {"list.pls", ".pls"},           {"LIST.PLS", ".pls"},     {"/home/a.b/list", ""},
      {"/home/a/list.M3U", ".m3u"},   {"noext", ""},            {"", ""},
      {"archive.pls.txt", ".txt"},    {"dir.pls/", ""},         {".pls", ".pls"},
      {"http://host/x.asx", ".asx"},  {"http://host/stream", ""}, {"a.\xDDPLS", ".\xDDpls"},
  };
  for (auto& t : cases) EXPECT_EQ(PlaylistExtension(t.in), t.out) << t.in;
}

}  // namespace
}  // namespace ornivox
