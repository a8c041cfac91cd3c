// What the player needs of its window. The main window implements it; every
// function is called on the UI thread only.
#pragma once

#include <string>

namespace ornivox {

class PlayerView {
 public:
  virtual ~PlayerView() = default;

  // Texts are 8-bit, code page 1254.
  virtual void setStationLine(const std::string& text) = 0;  // Label4
  virtual std::string stationLine() const = 0;
  virtual void repaintStationLine() = 0;                     // paint Label4 now
  virtual void setTitleLine(const std::string& text) = 0;    // Label3
  virtual std::string titleLine() const = 0;
  virtual void setKbpsLabel(const std::string& text) = 0;    // lKbps

  // The volume bar; its change handler (Player::sndBarPropertiesChange)
  // runs when the position changes.
  virtual void setVolumeBar(int position) = 0;
  virtual int volumeBar() const = 0;

  virtual void setWatchdogEnabled(bool enabled) = 0;  // TimerKontrol
  // Swaps the sound-on and sound-off buttons.
  virtual void showMuted(bool muted) = 0;
  // Sets both gauges and paints them now.
  virtual void setLevels(int left, int right) = 0;
};

}  // namespace ornivox
