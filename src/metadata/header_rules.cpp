#include "metadata/header_rules.h"

#include "metadata/tag_list.h"

namespace ornivox {
namespace {

constexpr std::string_view kIcyName = "icy-name:";
constexpr std::string_view kIcyBitrate = "icy-br:";
constexpr std::string_view kWmaTitle = "title=";

}  // namespace

std::vector<HeaderAction> ScanHeaderList(const std::vector<std::string_view>& entries) {
  std::vector<HeaderAction> actions;
  for (std::string_view entry : entries) {
    if (StartsWith(entry, kIcyName)) {
      actions.push_back({HeaderAction::Kind::Station, entry.substr(kIcyName.size())});
    } else if (StartsWith(entry, kIcyBitrate)) {
      actions.push_back({HeaderAction::Kind::KbpsLabel, {}});
    }
  }
  return actions;
}

std::optional<std::string_view> WmaMetaTitle(std::string_view text) {
  if (!StartsWith(text, kWmaTitle)) return std::nullopt;
  return text.substr(kWmaTitle.size());
}

std::vector<std::string_view> WmaHeaderTitles(const std::vector<std::string_view>& entries) {
  std::vector<std::string_view> titles;
  for (std::string_view entry : entries) {
    if (StartsWith(entry, kWmaTitle)) titles.push_back(entry.substr(kWmaTitle.size()));
  }
  return titles;
}

}  // namespace ornivox
