#include "metadata/tag_list.h"

#include <cstring>

namespace ornivox {

std::vector<std::string_view> TagEntries(const char* list) {
  std::vector<std::string_view> entries;
  if (list == nullptr) return entries;
  for (const char* p = list; *p != '\0';) {
    const std::size_t n = std::strlen(p);
    entries.emplace_back(p, n);
    p += n + 1;
  }
  return entries;
}

}  // namespace ornivox
