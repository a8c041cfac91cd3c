#include "ui/widgets/shadow_label.h"

#include "ui/widgets/accessible.h"

#include <QAccessible>
#include <QEvent>
#include <QMouseEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QRawFont>
#include <QStyle>
#include <QTextOption>

#include <cmath>
#include <tuple>
#include <utility>

namespace ornivox::ui {

namespace {

QPoint towards(ShadowOrientation o) {
  switch (o) {
    case ShadowOrientation::Left: return {-1, 0};
    case ShadowOrientation::Top: return {0, -1};
    case ShadowOrientation::Right: return {1, 0};
    case ShadowOrientation::Bottom: return {0, 1};
    case ShadowOrientation::LeftTop: return {-1, -1};
    case ShadowOrientation::RightTop: return {1, -1};
    case ShadowOrientation::LeftBottom: return {-1, 1};
    case ShadowOrientation::RightBottom: return {1, 1};
  }
  return {1, 1};
}

quint16 bigEndian16(const QByteArray& table, int at) {
  return static_cast<quint16>((static_cast<quint8>(table[at]) << 8) | static_cast<quint8>(table[at + 1]));
}

// The line metrics the layouts were drawn with: the font's Windows ascent
// and descent (OS/2 usWinAscent, usWinDescent), scaled to the pixel size and
// rounded, where the font has them. They put the baseline a pixel or two
// lower than the typographic ascent does, so a label exactly as tall as its
// text still shows the dot of "İ" and the accents above capitals.
std::pair<qreal, qreal> lineMetrics(const QFont& font) {
  const QRawFont raw = QRawFont::fromFont(font);
  const QByteArray os2 = raw.fontTable("OS/2");
  const QByteArray head = raw.fontTable("head");
  if (os2.size() >= 78 && head.size() >= 20) {
    const quint16 unitsPerEm = bigEndian16(head, 18);
    if (unitsPerEm > 0) {
      const qreal scale = raw.pixelSize() / unitsPerEm;
      return {std::round(bigEndian16(os2, 74) * scale), std::round(bigEndian16(os2, 76) * scale)};
    }
  }
  const QFontMetricsF fm(font);
  return {fm.ascent(), fm.descent()};
}

// Without wrapping a line is as long as its text; this only has to be
// wider than any title, yet small enough for the layout's fixed point.
constexpr qreal kUnwrappedWidth = 1.0e6;

}  // namespace

ShadowLabel::ShadowLabel(QWidget* parent) : QWidget(parent), focus_(new FocusMark(this)) {
  InstallAccessibleWidgets();
  layout_.setCacheEnabled(true);
}

ShadowLabel::ShadowLabel(const QString& text, QWidget* parent) : ShadowLabel(parent) {
  setText(text);
}

void ShadowLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  relayout();
  // A screen reader reads the label by its name: a new title is a new name.
  QAccessibleEvent event(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&event);
  emit textChanged(text_);
}

void ShadowLabel::setTextColor(const QColor& colour) {
  if (colour == textColour_) return;
  textColour_ = colour;
  update();
}

void ShadowLabel::setAlignment(Qt::Alignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  layoutValid_ = false;
  update();
}

void ShadowLabel::setWordWrap(bool on) {
  if (on == wordWrap_) return;
  wordWrap_ = on;
  relayout();
}

void ShadowLabel::setAccelerators(bool on) {
  if (on == accelerators_) return;
  accelerators_ = on;
  relayout();
}

void ShadowLabel::setShadow(int depth, const QColor& colour, ShadowOrientation orientation) {
  depth = depth < 0 ? 0 : depth;
  if (depth == shadowDepth_ && colour == shadowColour_ && orientation == shadowOrientation_) return;
  shadowDepth_ = depth;
  shadowColour_ = colour;
  shadowOrientation_ = orientation;
  relayout();
}

void ShadowLabel::setLowered(bool on, const QColor& highlight) {
  if (on == lowered_ && highlight == highlightColour_) return;
  lowered_ = on;
  highlightColour_ = highlight;
  relayout();
}

void ShadowLabel::setAutoSize(bool on) {
  if (on == autoSize_) return;
  autoSize_ = on;
  fitToText();
}

ShadowLabel::Margins ShadowLabel::effectMargins() const {
  Margins m;
  if (shadowDepth_ > 0) {
    const QPoint d = towards(shadowOrientation_);
    if (d.x() < 0) m.left = shadowDepth_;
    if (d.x() > 0) m.right = shadowDepth_;
    if (d.y() < 0) m.top = shadowDepth_;
    if (d.y() > 0) m.bottom = shadowDepth_;
  }
  if (lowered_) {
    m.right = std::max(m.right, 1);
    m.bottom = std::max(m.bottom, 1);
  }
  return m;
}

// For changes that may move the text or change the room it takes.
void ShadowLabel::relayout() {
  layoutValid_ = false;
  updateGeometry();
  fitToText();
  update();
}

void ShadowLabel::ensureLayout() const {
  if (layoutValid_) return;
  layoutValid_ = true;

  // What is shown differs from text_ by the accelerator marks and by line
  // breaks, which the layout only honours as line separators.
  QString shown;
  shown.reserve(text_.size());
  QList<QTextLayout::FormatRange> underlines;
  for (qsizetype i = 0; i < text_.size(); ++i) {
    QChar c = text_.at(i);
    bool mark = false;
    if (accelerators_ && c == u'&' && i + 1 < text_.size()) {
      c = text_.at(++i);
      mark = c != u'&';
    }
    if (c == u'\n') {
      shown += QChar(QChar::LineSeparator);
      continue;
    }
    if (mark) {
      QTextLayout::FormatRange range;
      range.start = int(shown.size());
      range.length = c.isHighSurrogate() && i + 1 < text_.size() ? 2 : 1;
      range.format.setFontUnderline(true);
      underlines.append(range);
    }
    shown += c;
  }

  const Margins m = effectMargins();
  const QRect area = rect().adjusted(m.left, m.top, -m.right, -m.bottom);

  layout_.clearLayout();
  layout_.setText(shown);
  layout_.setFont(font());
  QTextOption option;
  option.setWrapMode(wordWrap_ ? QTextOption::WordWrap : QTextOption::NoWrap);
  layout_.setTextOption(option);
  layout_.setFormats(underlines);

  if (!(metricsFont_ == font()) || lineAscent_ == 0) {
    metricsFont_ = font();
    std::tie(lineAscent_, lineDescent_) = lineMetrics(metricsFont_);
  }
  const qreal lineWidth = wordWrap_ ? std::max(area.width(), 1) : kUnwrappedWidth;
  const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment_);
  qreal y = 0;
  qreal widest = 0;
  layout_.beginLayout();
  for (;;) {
    QTextLine line = layout_.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(lineWidth);
    line.setLeadingIncluded(true);
    const qreal w = line.naturalTextWidth();
    qreal x = 0;
    if (align & Qt::AlignRight)
      x = area.width() - w;
    else if (align & Qt::AlignHCenter)
      x = (area.width() - w) / 2;
    // Whole pixels, so the copies beneath stay exactly one pixel apart
    // and hinted glyphs keep their sharp edges.
    const qreal drop = std::max<qreal>(0, std::round(lineAscent_ - line.ascent()));
    line.setPosition(QPointF(std::round(x), y + drop));
    y += std::max(line.height(), lineAscent_ + lineDescent_);
    widest = std::max(widest, w);
  }
  layout_.endLayout();

  qreal top = 0;
  if (alignment_ & Qt::AlignBottom)
    top = area.height() - y;
  else if (alignment_ & Qt::AlignVCenter)
    top = (area.height() - y) / 2;
  origin_ = QPointF(area.left(), area.top() + std::round(top));
  blockSize_ = QSizeF(widest, y);
}

QSize ShadowLabel::sizeHint() const {
  ensureLayout();
  const Margins m = effectMargins();
  return {int(std::ceil(blockSize_.width())) + m.left + m.right,
          int(std::ceil(blockSize_.height())) + m.top + m.bottom};
}

QSize ShadowLabel::minimumSizeHint() const {
  return wordWrap_ ? QSize(0, sizeHint().height()) : sizeHint();
}

void ShadowLabel::fitToText() {
  if (!autoSize_ || fitting_) return;
  fitting_ = true;
  QSize wanted = sizeHint();
  if (wordWrap_) wanted.setWidth(width());
  if (wanted != size()) resize(wanted);
  fitting_ = false;
}

void ShadowLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!text_.isEmpty()) paintText(painter);
  focus_->paint(painter);
}

void ShadowLabel::paintText(QPainter& painter) const {
  ensureLayout();
  if (shadowDepth_ > 0) {
    const QPoint d = towards(shadowOrientation_);
    painter.setPen(shadowColour_);
    for (int k = shadowDepth_; k >= 1; --k) layout_.draw(&painter, origin_ + QPointF(d * k));
  }
  if (lowered_) {
    painter.setPen(highlightColour_);
    layout_.draw(&painter, origin_ + QPointF(1, 1));
  }
  painter.setPen(textColour_);
  layout_.draw(&painter, origin_);
}

void ShadowLabel::resizeEvent(QResizeEvent* event) {
  layoutValid_ = false;
  if (wordWrap_) fitToText();
  QWidget::resizeEvent(event);
}

void ShadowLabel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::LayoutDirectionChange) {
    relayout();
  }
  QWidget::changeEvent(event);
}

void ShadowLabel::mousePressEvent(QMouseEvent* event) {
  emit pressed(event->button());
  click_.press(event->button());
  event->accept();
}

void ShadowLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (click_.release(event->button(), rect().contains(event->position().toPoint()))) emit clicked();
  event->accept();
}

// The second press of a double click arrives as this event. It is a press
// all the same; its release ends the double click and is not a new click.
void ShadowLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  emit pressed(event->button());
  click_.cancel();
  if (event->button() == Qt::LeftButton) emit doubleClicked();
  event->accept();
}

void ShadowLabel::enterEvent(QEnterEvent* event) {
  emit entered();
  QWidget::enterEvent(event);
}

void ShadowLabel::leaveEvent(QEvent* event) {
  emit left();
  QWidget::leaveEvent(event);
}

}  // namespace ornivox::ui

// The meta-object code is compiled here, with the class, instead of as a unit
// of its own that would read the toolkit's headers once more.
#include "moc_shadow_label.cpp"
