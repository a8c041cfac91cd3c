// The player's own texts, in code page 1254 (the sources are UTF-8, so the
// Turkish letters are written as their code-page bytes).
#pragma once

#include <string_view>

namespace ornivox::texts {

inline constexpr std::string_view kConnecting = "Ba\xF0lan\xFDyor...";   // Bağlanıyor...
inline constexpr std::string_view kNoService = "Servis Yok";
inline constexpr std::string_view kLoadingPrefix = "Y\xFCkleniyor... ";  // Yükleniyor...

}  // namespace ornivox::texts
