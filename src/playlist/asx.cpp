#include <optional>
#include <string>

#include "playlist/lines.h"
#include "playlist/resolvers.h"
#include "text/bytes.h"
#include "text/replace_all.h"

namespace ornivox {

namespace {

// Everything after the first "<title>" up to the first "</title>" on the same
// line, padded with a blank on each side; nothing when the line has no
// opening tag. An opening tag whose closing tag is on another line still
// counts, as two blanks.
std::optional<std::string> TitleOf(const std::string& line) {
  const std::size_t open = text::AsciiLower(line).find("<title>");
  if (open == std::string::npos) return std::nullopt;
  std::string rest = line.substr(open + 7);
  const std::size_t close = text::AsciiLower(rest).find("</title>");
  rest.resize(close == std::string::npos ? 0 : close);
  return " " + rest + " ";
}

// The address of the first href on the line, read from two characters after
// "href" (the "=" and the opening quote) up to the first '"/>'. Blanks are
// taken out first, so spaces around "=" do no harm, and any space inside the
// address is lost.
std::string HrefOf(const std::string& line) {
  const std::string s = text::ReplaceAll(text::TrimBlanks(line), " ", "");
  const std::size_t href = text::AsciiLower(s).find("href");
  if (href == std::string::npos) return {};
  const std::string rest = href + 6 < s.size() ? s.substr(href + 6) : std::string();
  const std::size_t end = rest.find("\"/>");
  return end == std::string::npos ? std::string() : rest.substr(0, end);
}

}  // namespace

void ResolveAsx(const std::string& file, std::string& title, std::string& url) {
  const auto lines = playlist::ReadLines(file);
  if (!lines) return;
  for (const std::string& line : *lines) {
    if (auto found = TitleOf(line)) title = std::move(*found);
    if (url.empty()) url = HrefOf(line);
    if (!title.empty() && !url.empty()) break;
  }
}

}  // namespace ornivox
