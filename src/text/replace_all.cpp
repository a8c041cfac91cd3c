#include "text/replace_all.h"

#include <algorithm>
#include <cstddef>

namespace ornivox::text {

namespace {

std::string ReplaceEachOnce(std::string_view text, std::string_view find, std::string_view replacement) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  for (std::size_t hit; (hit = text.find(find, at)) != std::string_view::npos; at = hit + find.size()) {
    out.append(text, at, hit - at);
    out.append(replacement);
  }
  out.append(text, at);
  return out;
}

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view find, std::string_view replacement) {
  if (find.empty() || find == replacement) return std::string(text);
  if (replacement.find(find) != std::string_view::npos) return ReplaceEachOnce(text, find, replacement);

  // Searching from the start again after each replacement would be quadratic
  // on a long line. The same result comes from one pass: `out` never holds an
  // occurrence, so the first occurrence in out + the rest is the one that
  // ends at the character just appended, and a replacement is read again
  // (from `pending`, a stack) because it can form occurrences with what lies
  // before it.
  std::string out;
  out.reserve(text.size());
  std::string pending;
  std::size_t next = 0;
  std::size_t budget = 64 * (text.size() + replacement.size() + 1) + (std::size_t{1} << 20);
  while (!pending.empty() || next < text.size()) {
    if (budget-- == 0) {
      out.append(pending.rbegin(), pending.rend());
      out.append(text, next);
      break;
    }
    if (!pending.empty()) {
      out.push_back(pending.back());
      pending.pop_back();
    } else {
      out.push_back(text[next++]);
    }
    if (out.size() >= find.size() && std::string_view(out).substr(out.size() - find.size()) == find) {
      out.resize(out.size() - find.size());
      pending.append(replacement.rbegin(), replacement.rend());
    }
  }
  return out;
}

}  // namespace ornivox::text
