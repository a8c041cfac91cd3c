// Later starts of the real program while a player runs in this process.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>

#include <filesystem>
#include <fstream>

#include "app/player_state.h"
#include "bass.h"
#include "main/main_window.h"
#include "platform/instance_lock.h"
#include "support/process.h"
#include "ui_env.h"
#include "widgets/shadow_label.h"

namespace ornivox::uitest {
namespace {

using testsupport::ChildProcess;

// Top-level windows captioned "Lodosfil" on the display, as the X server
// lists them.
int playerWindows() {
  ChildProcess xwininfo({"sh", "-c", "xwininfo -root -children | grep -c '\"Lodosfil\"'"});
  const auto line = xwininfo.readLine(5s);
  xwininfo.stop();
  return line ? std::stoi(*line) : -1;
}

class HandOverTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // This process is the first instance.
    static platform::InstanceLock lock = platform::InstanceLock::acquire(QStringLiteral("Lodosfil"));
    ASSERT_TRUE(lock.held());
  }
  void SetUp() override {
    playerState() = PlayerState{};
    ui::MainWindowOptions options;
    window = std::make_unique<ui::TfrmMain>(options);
    QObject::connect(window->Label4, &ui::ShadowLabel::textChanged, [this](const QString& t) { lines << t; });
    window->show();
    ASSERT_TRUE(spinUntil([&] { return lines.contains("Servis Yok"); }, 25s));
    lines.clear();
  }
  void TearDown() override { window.reset(); }

  std::vector<std::string> program(std::vector<std::string> args) {
    std::vector<std::string> argv{"env", "SDL_DISKAUDIOFILE=" + diskFile() + ".second", programPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  std::unique_ptr<ui::TfrmMain> window;
  QStringList lines;
};

TEST_F(HandOverTest, ASecondStartHandsItsArgumentOverAndEnds) {
  const auto generation = window->player().generation();
  ChildProcess second(program({"/yok/liste.PLS"}));
  // The second process waits for the player, so it can only end once this
  // event loop has opened the argument.
  std::optional<int> code;
  ASSERT_TRUE(spinUntil([&] { return (code = second.waitExit(0ms)).has_value(); }, 15s));
  EXPECT_EQ(*code, 0);
  EXPECT_EQ(window->player().generation(), generation + 1);
  // A playlist argument replaces the station: no file, so no address.
  EXPECT_TRUE(playerState().playlistUrl.empty());
  EXPECT_TRUE(playerState().stationName.empty());
  ASSERT_TRUE(spinUntil([&] { return lines.contains("Servis Yok"); }, 15s));
  EXPECT_EQ(lines.front(), QStringLiteral("Bağlanıyor..."));
  EXPECT_EQ(playerWindows(), 1);
}

TEST_F(HandOverTest, AHandedOverPlaylistIsResolvedAndPlayedHere) {
  const std::string url = station().url("/tone.mp3");
  const auto file = std::filesystem::temp_directory_path() / ("ornivox-handover-" + std::to_string(::getpid()) + ".pls");
  std::ofstream(file) << "[playlist]\nFile1=" << url << "\nTitle1=Devredilen Radyo\nNumberOfEntries=1\n";
  ChildProcess second(program({file.string()}));
  std::optional<int> code;
  ASSERT_TRUE(spinUntil([&] { return (code = second.waitExit(0ms)).has_value(); }, 15s));
  EXPECT_EQ(*code, 0);
  EXPECT_EQ(playerState().playlistUrl, url);
  EXPECT_TRUE(spinUntil(
      [&] {
        return BASS_ChannelIsActive(playerState().channel) == BASS_ACTIVE_PLAYING &&
               window->Label4->text() == QStringLiteral("Devredilen Radyo");
      },
      15s))
      << window->Label4->text().toStdString();
  std::filesystem::remove(file);
}

TEST_F(HandOverTest, ASecondStartWithoutArgumentIsASecondPlayer) {
  ChildProcess second(program({}));
  EXPECT_TRUE(spinUntil([&] { return playerWindows() == 2; }, 15s));
  EXPECT_FALSE(second.waitExit(0ms).has_value());
  EXPECT_EQ(window->player().generation(), 1u);  // nothing handed over
  second.stop(1s);
  EXPECT_TRUE(spinUntil([&] { return playerWindows() == 1; }, 10s));
}

}  // namespace
}  // namespace ornivox::uitest
