// Later starts of the real program while a player runs in this process.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>

#include <filesystem>
#include <fstream>

#include "audio/bass.h"
#include "desktop/instance_lock.h"
#include "player/player_state.h"
#include "support/process.h"
#include "ui/env/ui_env.h"
#include "ui/main/main_window.h"
#include "ui/widgets/shadow_label.h"

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

class HandOverTest : public testing::Test, public PlayerWindow {
 protected:
  static void SetUpTestSuite() {
    // This process is the first instance.
    static desktop::InstanceLock lock = desktop::InstanceLock::acquire(QStringLiteral("Lodosfil"));
    ASSERT_TRUE(lock.held());
  }
  void SetUp() override {
    makeWindow({});
    QObject::connect(window->Label4, &ui::ShadowLabel::textChanged, [this](const QString& t) { lines << t; });
    window->show();
    ASSERT_TRUE(spinUntil([&] { return lines.contains("Servis Yok"); }, 25s));
    lines.clear();
  }
  void TearDown() override { closeWindow(); }

  std::vector<std::string> program(std::vector<std::string> args) {
    std::vector<std::string> argv{"env", "SDL_DISKAUDIOFILE=" + diskFile() + ".second", programPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

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
  EXPECT_TRUE(state().playlistUrl.empty());
  EXPECT_TRUE(state().stationName.empty());
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
  EXPECT_EQ(state().playlistUrl, url);
  EXPECT_TRUE(spinUntil(
      [&] {
        return playing() &&
               window->Label4->text() == QStringLiteral("Devredilen Radyo");
      },
      15s))
      << window->Label4->text().toStdString();
  std::filesystem::remove(file);
}

// A relative path names the file where the later start was made, not
// where the player runs.
TEST_F(HandOverTest, ARelativePathNamesTheFileWhereTheSecondStartWasMade) {
  const std::string url = station().url("/tone.mp3");
  const auto dir = std::filesystem::temp_directory_path() / ("ornivox-handover-" + std::to_string(::getpid()) + ".d");
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "yakin.pls") << "[playlist]\nFile1=" << url << "\nTitle1=Göreli Radyo\nNumberOfEntries=1\n";
  std::vector<std::string> argv = program({"yakin.pls"});
  argv.insert(argv.begin() + 1, "--chdir=" + dir.string());
  ChildProcess second(argv);
  std::optional<int> code;
  ASSERT_TRUE(spinUntil([&] { return (code = second.waitExit(0ms)).has_value(); }, 15s));
  EXPECT_EQ(*code, 0);
  EXPECT_EQ(state().playlistUrl, url);
  EXPECT_TRUE(spinUntil([&] { return playing() && window->Label4->text() == QStringLiteral("Göreli Radyo"); }, 15s))
      << window->Label4->text().toStdString();
  std::filesystem::remove_all(dir);
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
