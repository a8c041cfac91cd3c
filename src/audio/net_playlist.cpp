#include "audio/net_playlist.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "audio/header_lines.h"
#include "text/bytes.h"

namespace ornivox::audio {

namespace {

constexpr std::string_view kPlaylistTypes[] = {
    "audio/x-scpls",  "audio/scpls",         "application/pls+xml", "audio/x-mpegurl",
    "audio/mpegurl",  "application/x-mpegurl", "audio/x-ms-wax",    "video/x-ms-wvx",
    "video/x-ms-asx", "video/x-ms-wax",
};
constexpr std::string_view kPlaylistExtensions[] = {".pls", ".m3u", ".asx", ".wax", ".wvx"};
constexpr std::string_view kNetworkSchemes[] = {"http://", "https://", "mms://", "mmsh://"};

std::string_view urlPath(std::string_view url) {
  url = url.substr(0, url.find_first_of("?#"));
  const auto scheme = url.find("://");
  if (scheme != std::string_view::npos) {
    url.remove_prefix(scheme + 3);
    const auto slash = url.find('/');
    url = slash == std::string_view::npos ? std::string_view{} : url.substr(slash);
  }
  return url;
}

bool isNetworkUrl(std::string_view s) {
  return std::any_of(std::begin(kNetworkSchemes), std::end(kNetworkSchemes),
                     [&](std::string_view p) { return text::StartsWithIgnoringAsciiCase(s, p); });
}

std::string_view skipBomAndBlanks(std::string_view s) {
  if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
  return text::TrimBlanks(s);
}

std::vector<std::string_view> splitLines(std::string_view body) {
  std::vector<std::string_view> lines;
  while (!body.empty()) {
    const auto end = body.find_first_of("\r\n");
    lines.push_back(body.substr(0, end));
    if (end == std::string_view::npos) break;
    body.remove_prefix(end + 1);
  }
  return lines;
}

void addEntry(std::vector<std::string>& out, std::string_view entry) {
  entry = text::TrimBlanks(entry);
  if (isNetworkUrl(entry) && std::find(out.begin(), out.end(), entry) == out.end()) out.emplace_back(entry);
}

// "KeyN=value" lines (PLS FileN, WMS reference RefN), in the order of N.
bool numberedEntries(const std::vector<std::string_view>& lines, std::string_view key, std::vector<std::string>& out) {
  std::multimap<std::uint64_t, std::string_view> found;
  for (auto line : lines) {
    line = text::TrimBlanks(line);
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || !text::StartsWithIgnoringAsciiCase(line, key)) continue;
    if (auto n = parseUnsigned(line.substr(key.size(), eq - key.size()))) found.emplace(*n, line.substr(eq + 1));
  }
  for (auto& [n, v] : found) addEntry(out, v);
  return !found.empty();
}

// <ref href="..."> and <entryref href="..."> in document order; quotes " or '.
void asxEntries(std::string_view body, std::vector<std::string>& out) {
  const std::string lower = text::AsciiLower(body);
  std::size_t at = 0;
  while ((at = lower.find('<', at)) != std::string::npos) {
    ++at;
    std::string_view tag = std::string_view(lower).substr(at);
    if (!(tag.starts_with("ref") || tag.starts_with("entryref"))) continue;
    const auto close = lower.find('>', at);
    const auto href = lower.find("href", at);
    if (href == std::string::npos || (close != std::string::npos && href > close)) continue;
    auto q = lower.find_first_of("\"'", href);
    if (q == std::string::npos || (close != std::string::npos && q > close)) continue;
    const auto endq = lower.find(lower[q], q + 1);
    if (endq == std::string::npos) break;
    addEntry(out, body.substr(q + 1, endq - q - 1));
    at = endq;
  }
}

}  // namespace

PlaylistHint playlistHint(std::string_view contentType, std::string_view url) {
  if (std::find(std::begin(kPlaylistTypes), std::end(kPlaylistTypes), contentType) != std::end(kPlaylistTypes))
    return PlaylistHint::Yes;
  const std::string_view path = urlPath(url);
  for (auto ext : kPlaylistExtensions)
    if (path.size() >= ext.size() && text::EqualsIgnoringAsciiCase(path.substr(path.size() - ext.size()), ext))
      return PlaylistHint::Yes;
  if (contentType == "video/x-ms-asf" || contentType.starts_with("text/") || contentType.empty())
    return PlaylistHint::Sniff;
  return PlaylistHint::No;
}

bool looksLikePlaylistBody(std::string_view head) {
  head = skipBomAndBlanks(head);
  return text::StartsWithIgnoringAsciiCase(head, "[playlist]") || text::StartsWithIgnoringAsciiCase(head, "[reference]") ||
         text::StartsWithIgnoringAsciiCase(head, "<asx") || text::StartsWithIgnoringAsciiCase(head, "#extm3u") || isNetworkUrl(head);
}

std::vector<std::string> playlistEntries(std::string_view body) {
  std::vector<std::string> out;
  body = skipBomAndBlanks(body);
  if (text::StartsWithIgnoringAsciiCase(body, "<")) {
    asxEntries(body, out);
    return out;
  }
  const auto lines = splitLines(body);
  if (numberedEntries(lines, "file", out) || numberedEntries(lines, "ref", out)) return out;
  for (auto line : lines) {
    line = text::TrimBlanks(line);
    if (!line.empty() && line.front() != '#') addEntry(out, line);
  }
  return out;
}

}  // namespace ornivox::audio
