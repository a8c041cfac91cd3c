// The engine's text and byte scanners, from tables of cases.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "audio/asf_script.h"
#include "audio/header_lines.h"
#include "audio/icy_splitter.h"
#include "audio/net_playlist.h"

using namespace ornivox::audio;
using namespace std::string_literals;

namespace {

struct SplitResult {
  std::string audio;
  std::vector<std::pair<std::string, std::uint64_t>> blocks;
};

SplitResult split(std::size_t metaint, const std::string& body, std::size_t chunk) {
  SplitResult r;
  IcySplitter s(
      metaint, [&](const std::uint8_t* d, std::size_t n) { r.audio.append(reinterpret_cast<const char*>(d), n); },
      [&](std::string text, std::uint64_t at) { r.blocks.emplace_back(std::move(text), at); });
  for (std::size_t i = 0; i < body.size(); i += chunk)
    s.feed(reinterpret_cast<const std::uint8_t*>(body.data() + i), std::min(chunk, body.size() - i));
  return r;
}

std::string block(const std::string& text) {
  const std::size_t units = (text.size() + 15) / 16;
  std::string b(1, static_cast<char>(units));
  b += text;
  b.append(units * 16 - text.size(), '\0');
  return b;
}

}  // namespace

TEST(IcySplitter, SeparatesAudioAndBlocksWhateverTheChunking) {
  const std::string body = "abcd" + block("StreamTitle='One';") + "efgh" + std::string(1, '\0') + "ijkl" +
                           block("StreamTitle='Two';StreamUrl='';") + "mn";
  for (std::size_t chunk : {1u, 2u, 3u, 5u, 16u, 1000u}) {
    SCOPED_TRACE(chunk);
    const auto r = split(4, body, chunk);
    EXPECT_EQ(r.audio, "abcdefghijklmn");
    ASSERT_EQ(r.blocks.size(), 2u);
    EXPECT_EQ(r.blocks[0].first, "StreamTitle='One';");
    EXPECT_EQ(r.blocks[0].second, 4u);
    EXPECT_EQ(r.blocks[1].first, "StreamTitle='Two';StreamUrl='';");
    EXPECT_EQ(r.blocks[1].second, 12u);
  }
}

TEST(IcySplitter, EdgeShapes) {
  struct Case {
    const char* name;
    std::size_t metaint;
    std::string body;
    std::string audio;
    std::size_t blocks;
  } cases[] = {
      {"no metaint: all audio", 0, "ab\x01xyz", "ab\x01xyz", 0},
      {"all-NUL block is no title", 2, "ab" + std::string(1, '\1') + std::string(16, '\0') + "cd", "abcd", 0},
      {"largest length byte eats 4080 bytes", 2, "ab\xff" + std::string(4080, 'x') + "cd", "abcd", 1},
      {"stream ends inside a block", 2, "ab\x02" "StreamTitle", "ab", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto r = split(c.metaint, c.body, 7);
    EXPECT_EQ(r.audio, c.audio);
    EXPECT_EQ(r.blocks.size(), c.blocks);
  }
}

TEST(ResponseHeaders, ReadsWhatTheEngineNeeds) {
  struct Case {
    std::vector<std::string> lines;
    bool icy;
    std::string type;
    std::size_t metaint;
    std::uint32_t bitrate;
  } cases[] = {
      {{"ICY 200 OK", "icy-name:Yerel", "icy-br:128", "icy-metaint:8192"}, true, "", 8192, 128000},
      {{"HTTP/1.0 200 OK", "Content-Type: audio/mpeg; charset=x", "ice-audio-info: ice-samplerate=44100;ice-bitrate=96"},
       false, "audio/mpeg", 0, 96000},
      {{"HTTP/1.1 200 OK", "CONTENT-TYPE: Application/OGG", "Icy-MetaInt: 16000", "icy-br: 128,64"}, false,
       "application/ogg", 16000, 128000},
      {{"HTTP/1.1 200 OK", "icy-metaint: lots", "icy-br: fast", "ice-bitrate:64"}, false, "", 0, 64000},
      {{"HTTP/1.1 200 OK", "icy-metaint: 99999999999"}, false, "", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines[1]);
    ResponseHeaders h{c.lines};
    EXPECT_EQ(h.isIcy(), c.icy);
    EXPECT_EQ(h.contentType(), c.type);
    EXPECT_EQ(h.metaint(), c.metaint);
    EXPECT_EQ(h.statedBitrate(), c.bitrate);
  }
}

TEST(ResponseHeaders, TagListShape) {
  EXPECT_EQ(joinTagList({"a:1", "b:2"}), std::string("a:1\0b:2\0\0", 9));
  EXPECT_EQ(joinTagList({}), std::string("\0", 1));
}

TEST(NetPlaylist, HintFromTypeAndAddress) {
  struct Case {
    const char* type;
    const char* url;
    PlaylistHint hint;
  } cases[] = {
      {"audio/x-scpls", "http://h/x", PlaylistHint::Yes},
      {"audio/x-mpegurl", "http://h/x", PlaylistHint::Yes},
      {"audio/mpeg", "http://h/listen.pls", PlaylistHint::Yes},
      {"audio/mpeg", "http://h/LISTEN.M3U?sid=1", PlaylistHint::Yes},
      {"audio/mpeg", "http://h.pls/stream", PlaylistHint::No},
      {"video/x-ms-asf", "http://h/stream", PlaylistHint::Sniff},
      {"text/plain", "http://h/stream", PlaylistHint::Sniff},
      {"", "http://h/stream", PlaylistHint::Sniff},
      {"application/ogg", "http://h/a.ogg", PlaylistHint::No},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.url);
    EXPECT_EQ(playlistHint(c.type, c.url), c.hint);
  }
}

TEST(NetPlaylist, SniffsBodies) {
  EXPECT_TRUE(looksLikePlaylistBody("\xEF\xBB\xBF[playlist]\r\nFile1=x"));
  EXPECT_TRUE(looksLikePlaylistBody("  <ASX version=\"3.0\">"));
  EXPECT_TRUE(looksLikePlaylistBody("[Reference]\r\nRef1=http://h/"));
  EXPECT_TRUE(looksLikePlaylistBody("http://h/stream\n"));
  EXPECT_FALSE(looksLikePlaylistBody(std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8)));  // ASF header
  EXPECT_FALSE(looksLikePlaylistBody("\xFF\xFB\x90\x64"));                                  // MP3 frame
}

TEST(NetPlaylist, NetworkEntriesInOrder) {
  using V = std::vector<std::string>;
  struct Case {
    const char* name;
    std::string body;
    V entries;
  } cases[] = {
      {"pls in number order", "[playlist]\r\nFile2=http://b/\r\nTitle1=x\r\nfile1=http://a/\r\nNumberOfEntries=2\r\n",
       V{"http://a/", "http://b/"}},
      {"pls skips local files", "[playlist]\nFile1=/home/x.mp3\nFile2=C:\\x.mp3\nFile3=https://c/\n", V{"https://c/"}},
      {"m3u with comments and blanks", "#EXTM3U\r\n#EXTINF:-1,Radio\r\n\r\n  http://a/s  \r\nfile.mp3\r\nmms://m/\r\n",
       V{"http://a/s", "mms://m/"}},
      {"asx refs and entryrefs, either quote", "<asx version=\"3.0\"><entry><REF HREF = 'mms://a/'/></entry>"
       "<Entry><ref href=\"http://b/\" /></Entry><entryref href=\"http://c/list.asx\"/></asx>",
       V{"mms://a/", "http://b/", "http://c/list.asx"}},
      {"asx with an unterminated quote", "<asx><ref href=\"http://a/", V{}},
      {"wms reference", "[Reference]\r\nRef1=http://a/?MSWMExt=.asf\r\nRef2=http://b/\r\n",
       V{"http://a/?MSWMExt=.asf", "http://b/"}},
      {"duplicates tried once", "http://a/\nhttp://a/\nhttp://b/\n", V{"http://a/", "http://b/"}},
      {"not a playlist", std::string("\0\1\2binary\xff", 10), V{}},
      {"other schemes", "ftp://a/\nfile:///x\nrtsp://b/\n", V{}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(playlistEntries(c.body), c.entries);
  }
}

TEST(AsfScriptCommand, TwoUtf16TextsBecomeTypeEqualsParameter) {
  auto utf16 = [](std::u16string text) {
    std::string bytes;
    for (char16_t u : text) {
      bytes += static_cast<char>(u & 0xFF);
      bytes += static_cast<char>(u >> 8);
    }
    return bytes;
  };
  struct Case {
    const char* name;
    std::string payload;
    std::optional<std::string> text;
  } cases[] = {
      {"plain", utf16(u"title\0Haber\0"s), "title=Haber"},
      {"turkish letters", utf16(u"TEXT\0\u015Eark\u0131\0"s), "TEXT=\xC5\x9E" "ark\xC4\xB1"},
      {"surrogate pair", utf16(u"TEXT\0\U0001F3B5\0"s), "TEXT=\xF0\x9F\x8E\xB5"},
      {"lone surrogate", utf16(u"TEXT\0a\xD800" u"b\0"s), "TEXT=a\xEF\xBF\xBD" "b"},
      {"parameter without its NUL", utf16(u"URL\0http://a/"s), "URL=http://a/"},
      {"empty parameter", utf16(u"title\0\0"s), "title="},
      {"empty type", utf16(u"\0Haber\0"s), std::nullopt},
      {"type without its NUL", utf16(u"title"s), std::nullopt},
      {"odd byte at the end", utf16(u"title\0x\0"s) + "!", "title=x"},
      {"nothing", "", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(scriptCommandText(reinterpret_cast<const std::uint8_t*>(c.payload.data()), c.payload.size()), c.text);
  }
}
