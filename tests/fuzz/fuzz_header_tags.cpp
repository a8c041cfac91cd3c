// Header tag lists as a server may send them: any bytes, cut at NULs into
// the engine's list form.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/bitrate_rules.h"
#include "metadata/header_rules.h"
#include "metadata/tag_list.h"

namespace {

// Whether `part` is the end of `whole`, in place.
bool IsSuffixOf(std::string_view part, std::string_view whole) {
  return part.size() <= whole.size() && part.data() == whole.data() + (whole.size() - part.size());
}

bool IsWholeNumber(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

void CheckRate(std::string_view text) {
  const std::int32_t rate = ornivox::ParseRate(text);
  if (rate != 0 && !IsWholeNumber(text)) __builtin_trap();
  if (ornivox::ParseRate(std::to_string(rate)) != rate) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string list(reinterpret_cast<const char*>(data), size);
  list.append(2, '\0');
  const std::vector<std::string_view> entries = ornivox::TagEntries(list.c_str());

  // The entries lie end to end in the list, each ended by its NUL, and the
  // one after the last is empty.
  std::size_t at = 0;
  for (std::string_view entry : entries) {
    if (entry.empty() || entry.data() != list.data() + at) __builtin_trap();
    if (entry.find('\0') != std::string_view::npos || list[at + entry.size()] != '\0') __builtin_trap();
    at += entry.size() + 1;
  }
  if (list[at] != '\0') __builtin_trap();

  // One action per "icy-name:" or "icy-br:" entry, in order; a station
  // name is the rest of its entry.
  const std::vector<ornivox::HeaderAction> actions = ornivox::ScanHeaderList(entries);
  std::size_t next = 0;
  for (std::string_view entry : entries) {
    const bool name = ornivox::StartsWith(entry, "icy-name:");
    if (!name && !ornivox::StartsWith(entry, "icy-br:")) continue;
    if (next == actions.size()) __builtin_trap();
    const ornivox::HeaderAction& action = actions[next++];
    if (name != (action.kind == ornivox::HeaderAction::Kind::Station)) __builtin_trap();
    if (name && (action.text.size() + 9 != entry.size() || !IsSuffixOf(action.text, entry))) __builtin_trap();
  }
  if (next != actions.size()) __builtin_trap();

  // The same for the titles of a WMA header.
  const std::vector<std::string_view> titles = ornivox::WmaHeaderTitles(entries);
  next = 0;
  for (std::string_view entry : entries) {
    const std::optional<std::string_view> title = ornivox::WmaMetaTitle(entry);
    if (!title) continue;
    if (next == titles.size() || titles[next] != *title) __builtin_trap();
    if (title->size() + 6 != entry.size() || !IsSuffixOf(titles[next++], entry)) __builtin_trap();
  }
  if (next != titles.size()) __builtin_trap();

  // A rate text is a trimmed piece of one entry, and the HTTP list counts
  // only without an ICY list.
  const std::string icy = ornivox::RateText(entries, std::nullopt);
  const std::string http = ornivox::RateText(std::nullopt, entries);
  if (ornivox::RateText(entries, entries) != icy) __builtin_trap();
  if (!ornivox::RateText(ornivox::TagEntryList{}, entries).empty()) __builtin_trap();
  for (const std::string& rate : {icy, http}) {
    if (rate.size() > 255 || list.find(rate) == std::string::npos) __builtin_trap();
    if (!rate.empty() && (static_cast<unsigned char>(rate.front()) <= 32 || static_cast<unsigned char>(rate.back()) <= 32)) {
      __builtin_trap();
    }
    CheckRate(rate);
  }
  for (std::string_view entry : entries) CheckRate(entry);
  return 0;
}
