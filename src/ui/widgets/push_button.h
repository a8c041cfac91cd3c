#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace ornivox::ui {

// A push button in the player's own look (a rounded, softly graded face
// with a 1 px border and the text centred), the same under every style.
// Hover, pressed, focused and disabled each look different. Text only.
class PushButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit PushButton(QWidget* parent = nullptr);
  explicit PushButton(const QString& text, QWidget* parent = nullptr);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  unsigned state() const;

  bool hovered_ = false;
  // The whole face with its text, redrawn only when something it shows
  // changes rather than on every paint.
  QPixmap face_;
  unsigned faceState_ = ~0u;
  QSize faceSize_;
  QString faceText_;
  qreal faceDpr_ = 0;
};

}  // namespace ornivox::ui
