#include "app/player_state.h"

namespace ornivox {

PlayerState& playerState() {
  static PlayerState state;
  return state;
}

}  // namespace ornivox
