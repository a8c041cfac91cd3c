#pragma once

#include "ui/widgets/click_gesture.h"
#include "ui/widgets/focus_mark.h"

#include <QColor>
#include <QString>
#include <QTextLayout>
#include <QWidget>

class QPainter;

namespace ornivox::ui {

enum class ShadowOrientation { Left, Top, Right, Bottom, LeftTop, RightTop, LeftBottom, RightBottom };

// A line (or, wrapped, a few lines) of text lying on the skin: it never
// fills its background, and may carry a drop shadow or a "lowered" look.
// Shadow and lowered copies are kept inside the widget: the text is laid
// out in the rectangle left after the room those copies need on each side.
// Given a focus policy that Tab reaches, the label is a link or a button
// (see FocusMark).
class ShadowLabel : public QWidget {
  Q_OBJECT

 public:
  explicit ShadowLabel(QWidget* parent = nullptr);
  explicit ShadowLabel(const QString& text, QWidget* parent = nullptr);

  void setText(const QString& text);
  QString text() const { return text_; }

  void setTextColor(const QColor& colour);
  QColor textColor() const { return textColour_; }

  // Default Qt::AlignLeft | Qt::AlignTop.
  void setAlignment(Qt::Alignment alignment);
  Qt::Alignment alignment() const { return alignment_; }

  void setWordWrap(bool on);
  bool wordWrap() const { return wordWrap_; }

  // On: "&x" underlines x and hides the ampersand, "&&" shows one. Off by
  // default, since the titles a station sends often carry a bare "&".
  void setAccelerators(bool on);
  bool accelerators() const { return accelerators_; }

  // Copies of the text in `colour`, 1..depth pixels away towards
  // `orientation`, beneath the text; depth 0 removes the shadow.
  void setShadow(int depth, const QColor& colour, ShadowOrientation orientation);
  int shadowDepth() const { return shadowDepth_; }
  QColor shadowColor() const { return shadowColour_; }
  ShadowOrientation shadowOrientation() const { return shadowOrientation_; }

  // An engraved look: a copy in `highlight` one pixel right and down.
  void setLowered(bool on, const QColor& highlight = Qt::white);
  bool lowered() const { return lowered_; }

  // On: the label takes the size of its text (and its shadow), keeping its
  // top-left corner; with word wrap only the height follows the text.
  void setAutoSize(bool on);
  bool autoSize() const { return autoSize_; }

  // Paints now rather than on the next pass of the event loop.
  void repaintNow() { repaint(); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void textChanged(const QString& text);
  void pressed(Qt::MouseButton button);
  void clicked();
  void doubleClicked();
  void entered();
  void left();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  struct Margins {
    int left = 0, top = 0, right = 0, bottom = 0;
  };
  Margins effectMargins() const;
  void relayout();
  void ensureLayout() const;
  void paintText(QPainter& painter) const;
  void fitToText();

  QString text_;
  QColor textColour_{Qt::black};
  Qt::Alignment alignment_{Qt::AlignLeft | Qt::AlignTop};
  bool wordWrap_ = false;
  bool accelerators_ = false;
  int shadowDepth_ = 0;
  QColor shadowColour_{Qt::black};
  ShadowOrientation shadowOrientation_ = ShadowOrientation::RightBottom;
  bool lowered_ = false;
  QColor highlightColour_{Qt::white};
  bool autoSize_ = false;
  ClickGesture click_;
  FocusMark* focus_;

  // Laid out once per change of text, font, wrap or size, not per paint.
  mutable QTextLayout layout_;
  mutable bool layoutValid_ = false;
  mutable QPointF origin_;
  mutable QSizeF blockSize_;
  // The line metrics of the font the layout was last made with.
  mutable QFont metricsFont_;
  mutable qreal lineAscent_ = 0;
  mutable qreal lineDescent_ = 0;
  bool fitting_ = false;
};

}  // namespace ornivox::ui
