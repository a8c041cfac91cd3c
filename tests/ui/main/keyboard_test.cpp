// The main window from the keyboard alone, in a real X server, playing the
// local station: Tab walks every control, Space and Enter press them, the
// volume keys move the bar and the engine follows, and the outline shows
// only while the focus came from the keyboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <functional>
#include <vector>

#include "audio/bass.h"
#include "ui/env/focus_look.h"
#include "ui/env/ui_env.h"
#include "ui/main/main_window.h"
#include "ui/widgets/shadow_label.h"
#include "ui/widgets/skin_image.h"
#include "ui/widgets/track_bar.h"

namespace ornivox::uitest {
namespace {

using ui::TfrmMain;

class KeyboardTest : public testing::Test, public PlayerWindow {
 protected:
  void SetUp() override {
    state().playlistUrl = station().url("/tone.mp3");
    ui::MainWindowOptions options;
    options.listenForHandOver = false;
    makeWindow(options);
    bool shown = false;
    QObject::connect(window.get(), &TfrmMain::shown, [&] { shown = true; });
    window->show();
    ASSERT_TRUE(spinUntil([&] { return shown && window->windowHandle()->isExposed(); }, 5s));
    window->activateWindow();
    ASSERT_TRUE(spinUntil([&] { return QApplication::activeWindow() == window.get(); }, 5s));
  }
  void TearDown() override {
    // The device volume outlives the window, as a sound card's does.
    if (window) BASS_SetVolume(1.0f);
    closeWindow();
  }

  static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
};

TEST_F(KeyboardTest, TabReachesEveryControlInOrderAndComesRound) {
  TfrmMain& w = *window;
  const std::vector<QWidget*> cycle = {w.btnPlay, w.btnDur,      w.btnSesAcik, w.sndBar,  w.lIstek, w.lBilgi,
                                       w.btnMinimize, w.btnKapat, w.lWebGit,  w.sLink,   w.btnPlay};
  ASSERT_TRUE(FocusByTab(cycle.front()));
  for (size_t i = 1; i < cycle.size(); ++i) {
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), cycle[i]) << "Tab " << i << " reached "
        << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "nothing");
  }
  // Backwards the same way.
  for (size_t i = cycle.size() - 1; i > 0; --i) {
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), cycle[i - 1]) << "Shift+Tab " << i;
  }
}

TEST_F(KeyboardTest, SpaceAndEnterPressTheTransportAndMuteButtons) {
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s));
  window->sndBar->setValue(60);
  TfrmMain& w = *window;
  struct Step {
    const char* what;
    QWidget* button;
    Qt::Key key;
    std::function<bool()> done;
  };
  const Step steps[] = {
      {"mute by Space", w.btnSesAcik, Qt::Key_Space,
       [&] { return w.btnSesKapali->isVisible() && BASS_GetVolume() == 0.0f && w.btnSesKapali->hasFocus(); }},
      {"unmute by Return", w.btnSesKapali, Qt::Key_Return,
       [&] { return w.btnSesAcik->isVisible() && BASS_GetVolume() > 0.59f && w.btnSesAcik->hasFocus(); }},
      {"stop by Enter", w.btnDur, Qt::Key_Enter, [&] { return !playing() && !w.TimerKontrol->isActive(); }},
      {"play by Space", w.btnPlay, Qt::Key_Space, [&] { return playing(); }},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    ASSERT_TRUE(FocusByTab(s.button));
    press(s.key, s.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    EXPECT_TRUE(spinUntil(s.done, 15s));
  }
}

TEST_F(KeyboardTest, VolumeKeysMoveTheBarByItsStepsAndTheEngineFollows) {
  ASSERT_TRUE(spinUntil([&] { return playing(); }, 15s));
  ASSERT_TRUE(FocusByTab(window->sndBar));
  struct Case {
    int from;
    Qt::Key key;
    int to;
  };
  const Case cases[] = {
      {50, Qt::Key_Right, 51}, {50, Qt::Key_Left, 49},     {50, Qt::Key_Up, 51},       {50, Qt::Key_Down, 49},
      {50, Qt::Key_PageUp, 60}, {50, Qt::Key_PageDown, 40}, {95, Qt::Key_PageUp, 100}, {5, Qt::Key_PageDown, 0},
      {100, Qt::Key_Right, 100}, {0, Qt::Key_Left, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(KeyName(c.key));
    window->sndBar->setValue(c.from);
    press(c.key);
    EXPECT_EQ(window->sndBar->value(), c.to) << "from " << c.from;
    EXPECT_FLOAT_EQ(BASS_GetVolume(), c.to / 100.0f) << "from " << c.from;
  }
}

TEST_F(KeyboardTest, TheOutlineShowsOnlyWhileTheFocusCameFromTheKeyboard) {
  TfrmMain& w = *window;
  struct Case {
    QWidget* control;
    // The volume bar's thumb has a focus look of its own, whatever gave the
    // focus; the outline comes on top of it.
    bool plainOtherwise;
  };
  const Case cases[] = {{w.btnPlay, true}, {w.btnSesAcik, true}, {w.lIstek, true}, {w.lBilgi, true},
                        {w.btnKapat, true}, {w.sLink, true},     {w.sndBar, false}};
  for (const Case& c : cases) {
    QWidget* control = c.control;
    SCOPED_TRACE(control->accessibleName().isEmpty() ? control->toolTip().toStdString()
                                                     : control->accessibleName().toStdString());
    control->clearFocus();
    QCoreApplication::processEvents();
    const QImage plain = control->grab().toImage();
    // At least half of the outline's pixels, whatever lies beneath.
    const int outline = control->width() + control->height();
    EXPECT_GT(PixelsMarkedByFocus(control), outline);
    const QImage byKeys = control->grab().toImage();
    // The same control focused by other means, as the window's first
    // showing does: no outline.
    control->clearFocus();
    control->setFocus(Qt::ActiveWindowFocusReason);
    ASSERT_TRUE(spinUntil([&] { return control->hasFocus(); }, 5s));
    QCoreApplication::processEvents();
    const QImage otherwise = control->grab().toImage();
    EXPECT_GT(DifferingPixels(byKeys, otherwise), outline);
    if (c.plainOtherwise) {
      EXPECT_EQ(otherwise, plain);
    }
  }
}

}  // namespace
}  // namespace ornivox::uitest
