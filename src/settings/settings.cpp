#include "settings/settings.h"

namespace ornivox {

// No settings file format is read yet: every field keeps its value and the
// player falls back to the built-in station.
void Readini(PlayerState&) {}

}  // namespace ornivox
