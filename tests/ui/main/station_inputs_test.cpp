// Where the window's station comes from (the settings file beside the
// executable, a playlist argument) and what the stream itself says on it
// (station name, song titles, codec and bit rate), in a real X server with
// the local Icecast station.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "audio/bass.h"
#include "player/player_state.h"
#include "settings/station_record.h"
#include "station/identity.h"
#include "support/icecast_station.h"
#include "support/media.h"
#include "support/process.h"
#include "support/scratch_dir.h"
#include "support/scripted_server.h"
#include "ui/env/ui_env.h"
#include "ui/main/main_window.h"
#include "ui/widgets/level_gauge.h"
#include "ui/widgets/shadow_label.h"

namespace ornivox::uitest {
namespace {

namespace fs = std::filesystem;
using ui::MainWindowOptions;
using ui::TfrmMain;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Handles the next modal box of type Box once it runs its own event loop
// (which may open inside a call the test makes): `handle` reads it and
// closes it. A box that is not closed within the limit is rejected, so the
// test fails instead of hanging.
template <typename Box>
void handleNextModal(std::function<void(Box*)> handle, std::chrono::milliseconds limit = 10s) {
  auto* poll = new QTimer;
  const auto deadline = Clock::now() + limit;
  QObject::connect(poll, &QTimer::timeout, [poll, handle, deadline] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<Box*>(modal); box != nullptr && box->isVisible()) {
      poll->deleteLater();
      poll->stop();
      handle(box);
    } else if (Clock::now() > deadline) {
      poll->deleteLater();
      poll->stop();
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    }
  });
  poll->start(20);
}

// One station record: three length-prefixed texts of 40, 50 and 60 bytes.
std::string stationRecord(const std::string& name, const std::string& home, const std::string& url) {
  std::string record;
  for (auto [text, capacity] : {std::pair{name, 40u}, {home, 50u}, {url, 60u}}) {
    record.push_back(static_cast<char>(text.size()));
    record += text;
    record.append(capacity - text.size(), '\0');
  }
  return record;
}

class StationInputsTest : public testing::Test, public PlayerWindow {
 protected:
  void TearDown() override {
    if (window) BASS_SetVolume(1.0f);
    closeWindow();
  }

  TfrmMain& open(MainWindowOptions options) {
    options.listenForHandOver = false;
    makeWindow(options);
    QObject::connect(window->Label3, &ui::ShadowLabel::textChanged, [this](const QString& t) { titleLines << t; });
    bool shown = false;
    QObject::connect(window.get(), &TfrmMain::shown, [&] { shown = true; });
    window->show();
    EXPECT_TRUE(spinUntil([&] { return shown; }, 5s));
    return *window;
  }
  TfrmMain& openUrl(const std::string& url) {
    state().playlistUrl = url;
    return open({});
  }
  bool waitStation(const QString& line, std::chrono::milliseconds limit = 15s) {
    return spinUntil([&] { return playing() && window->Label4->text() == line; }, limit);
  }

  QStringList titleLines;
};

// A playlist's own title names the station; without one the stream's
// "icy-name" header does.
TEST_F(StationInputsTest, APlaylistArgumentIsResolvedAndItsTitleKeptAgainstTheStreamsName) {
  const std::string url = station().url("/tone.mp3");
  struct Case {
    const char* file;
    std::string content;
    QString stationLine;
  } cases[] = {
      {"liste.pls", "[playlist]\r\nNumberOfEntries=1\r\nFile1=" + url + "\r\nTitle1=Benim Radyom\r\nLength1=-1\r\n",
       QStringLiteral("Benim Radyom")},
      // Titles written in UTF-8, as most playlists are today, and in the
      // code page, as older ones are: both read the same.
      {"utf8.pls", "[playlist]\nNumberOfEntries=1\nFile1=" + url + "\nTitle1=Radyo Şeker\n",
       QStringLiteral("Radyo Şeker")},
      {"codepage.pls", "[playlist]\nNumberOfEntries=1\nFile1=" + url + "\nTitle1=Radyo \xDE" "eker\n",
       QStringLiteral("Radyo Şeker")},
      {"utf8.m3u", "#EXTM3U\n#EXTINF:-1,Çağlayan FM\n" + url + "\n", QStringLiteral("Çağlayan FM")},
      {"liste.m3u", "#EXTM3U\n" + url + "\n", QStringLiteral("Yerel Deneme MP3")},
      {"liste.asx", "<asx version=\"3.0\"><title>Asx Radyo</title><entry><ref href=\"" + url + "\"/></entry></asx>\n",
       // The title element's text comes framed in blanks; the station line
       // drops only the trailing one.
       QStringLiteral(" Asx Radyo")},
  };
  const testsupport::ScratchDir dir("ornivox-inputs");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path file = dir / c.file;
    writeFile(file, c.content);
    MainWindowOptions options;
    options.argument = file.string();
    open(options);
    EXPECT_TRUE(waitStation(c.stationLine)) << window->Label4->text().toStdString();
    EXPECT_EQ(state().streamUrl, url);
    EXPECT_EQ(window->lKbps->text(), QStringLiteral("128 kbps mp3"));
    closeWindow();
  }
}

TEST_F(StationInputsTest, TheTitleLineFollowsTheStationsTitles) {
  auto& icecast = station();
  openUrl(icecast.url("/tone.mp3"));
  ASSERT_TRUE(spinUntil([this] { return playing(); }, 15s));
  // Each title is set until it shows: a listener who connected just before a
  // change may still get the old title in the first block.
  for (const QString& title : {QStringLiteral("Çalan Şarkı: ğüşöç İı"), QStringLiteral("İkinci Parça; \"Dinle\"")}) {
    SCOPED_TRACE(title.toStdString());
    bool shown = false;
    for (int attempt = 0; attempt < 3 && !shown; ++attempt) {
      ASSERT_TRUE(icecast.setTitle("/tone.mp3", title.toStdString()));
      shown = spinUntil([&] { return window->Label3->text() == title; }, 8s);
    }
    EXPECT_TRUE(shown) << window->Label3->text().toStdString();
  }
  // The station line keeps the configured name against the stream's.
  EXPECT_EQ(window->Label4->text(), QStringLiteral("Dalgaton"));
}

TEST_F(StationInputsTest, TheLabelNamesEachMountsCodec) {
  auto others = testsupport::IcecastStation::start({"/tone.aac", "/tone.ogg"});
  const QRegularExpression label(QStringLiteral("^(\\d+) kbps (\\w*)$"));
  struct Case {
    std::string url;
    QString codec;
  } cases[] = {
      {station().url("/tone.mp3"), QStringLiteral("mp3")},
      {others->url("/tone.aac"), QStringLiteral("aac")},
      {others->url("/tone.ogg"), QStringLiteral("ogg")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    openUrl(c.url);
    ASSERT_TRUE(spinUntil([this] { return playing(); }, 15s));
    const auto match = label.match(window->lKbps->text());
    ASSERT_TRUE(match.hasMatch()) << window->lKbps->text().toStdString();
    EXPECT_EQ(match.captured(2), c.codec);
    if (c.codec == "mp3") {
      EXPECT_EQ(match.captured(1), "128");
    }
    closeWindow();
  }
}

TEST_F(StationInputsTest, TheCodecLabelShowsTheAddressFromTheTwentyFirstClick) {
  auto& icecast = station();
  openUrl(icecast.url("/tone.mp3"));
  ASSERT_TRUE(spinUntil([this] { return playing(); }, 15s));
  const QPoint middle = window->lKbps->rect().center();
  for (int click = 1; click <= 20; ++click) {
    QTest::mouseClick(window->lKbps, Qt::LeftButton, {}, middle);
    ASSERT_EQ(QApplication::activeModalWidget(), nullptr) << "click " << click;
  }
  const QString expected =
      QString::fromStdString(std::string(station::kPlaylistUrl) + " - " + icecast.url("/tone.mp3"));
  for (int click = 21; click <= 22; ++click) {
    SCOPED_TRACE(click);
    QString caption, prompt, text;
    // The box runs its own event loop inside the click.
    handleNextModal<QInputDialog>([&, click](QInputDialog* box) {
      caption = box->windowTitle();
      prompt = box->labelText();
      text = box->textValue();
      box->setTextValue(QStringLiteral("başka bir adres"));
      click == 21 ? box->accept() : box->reject();
    });
    QTest::mouseClick(window->lKbps, Qt::LeftButton, {}, middle);
    EXPECT_EQ(caption, QStringLiteral("Bilgi"));
    EXPECT_EQ(prompt, QStringLiteral("Yayın Adresi :"));
    EXPECT_EQ(text, expected);
  }
  // Whatever was typed there changes nothing.
  EXPECT_EQ(state().streamUrl, icecast.url("/tone.mp3"));
  EXPECT_TRUE(playing());
}

// The settings file of this test program: the executable's name with ".dta".
class SettingsFileTest : public StationInputsTest {
 protected:
  void SetUp() override {
    StationInputsTest::SetUp();
    fs::remove_all(settingsFile);  // what an interrupted run left
  }
  void TearDown() override {
    StationInputsTest::TearDown();
    std::error_code ec;
    fs::remove_all(settingsFile, ec);
  }
  const fs::path settingsFile = SettingsFileName(RunningExecutable());
};

TEST_F(SettingsFileTest, AReadOnlyFileNamesAndAddressesTheStation) {
  writeFile(settingsFile, stationRecord("Ayar Radyo", "www.ayar.example", station().url("/tone.mp3")));
  fs::permissions(settingsFile, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = readFile(settingsFile);
  const auto modified = fs::last_write_time(settingsFile);

  open({});
  EXPECT_TRUE(waitStation(QStringLiteral("Ayar Radyo"))) << window->Label4->text().toStdString();
  EXPECT_EQ(state().streamUrl, station().url("/tone.mp3"));
  EXPECT_EQ(state().homePage, "www.ayar.example");
  closeWindow();
  EXPECT_EQ(readFile(settingsFile), before);
  EXPECT_EQ(fs::last_write_time(settingsFile), modified);
}

// Root reads whatever the permission bits say; a directory of that name is
// unreadable for everyone.
TEST_F(SettingsFileTest, AnUnreadableFileIsReportedAndTheWindowStaysSilent) {
  fs::create_directory(settingsFile);
  // The box is modal and opens while the window is being shown.
  QString text;
  handleNextModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    box->accept();
  });
  open({});
  EXPECT_TRUE(text.contains(QString::fromLocal8Bit(std::strerror(EISDIR)))) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromStdString(settingsFile.string()))) << text.toStdString();

  // Nothing was opened, and nothing starts by itself afterwards.
  ASSERT_TRUE(waitForTicks(window->tLevel, 10));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->player().generation(), 0u);
  EXPECT_EQ(state().channel, 0u);
  EXPECT_TRUE(state().playlistUrl.empty());
  EXPECT_EQ(window->lSol->value(), 0);
}

}  // namespace
}  // namespace ornivox::uitest
