#include "ui/widgets/accessible.h"

#include <QAbstractSlider>
#include <QAccessibleWidget>

#include "ui/widgets/focus_mark.h"
#include "ui/widgets/level_gauge.h"
#include "ui/widgets/shadow_label.h"
#include "ui/widgets/skin_image.h"
#include "ui/widgets/track_bar.h"

namespace ornivox::ui {

namespace {

// "&x" shows as an underlined x, "&&" as one ampersand; a reader says the
// text as it is seen.
QString withoutAccelerators(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

// The skin's images and labels: buttons where Tab reaches them, otherwise
// pictures and text.
class SkinControl : public QAccessibleWidget {
 public:
  explicit SkinControl(QWidget* widget) : QAccessibleWidget(widget) {}

  // Asked each time: the window makes a picture a button after the reader
  // may already have met it.
  QAccessible::Role role() const override {
    if (FocusMark::reachable(*widget())) return QAccessible::Button;
    return qobject_cast<const ShadowLabel*>(widget()) ? QAccessible::StaticText : QAccessible::Graphic;
  }

  QString text(QAccessible::Text t) const override {
    if (t != QAccessible::Name) return QAccessibleWidget::text(t);
    if (!widget()->accessibleName().isEmpty()) return widget()->accessibleName();
    if (!widget()->toolTip().isEmpty()) return widget()->toolTip();
    if (auto* label = qobject_cast<const ShadowLabel*>(widget()))
      return label->accelerators() ? withoutAccelerators(label->text()) : label->text();
    return {};
  }

  QStringList actionNames() const override {
    return role() == QAccessible::Button ? QStringList{pressAction()} : QAccessibleWidget::actionNames();
  }

  void doAction(const QString& name) override {
    // Queued: a press may open a modal window, which must not run inside
    // the reader's call.
    if (name == pressAction() && role() == QAccessible::Button)
      QMetaObject::invokeMethod(widget(), "clicked", Qt::QueuedConnection);
  }
};

// A widget with a range and a value; the track bar may be set from outside,
// the gauge only measures.
class RangeControl : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  RangeControl(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return QString::number(value());
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return value(); }
  void setCurrentValue(const QVariant& v) override {
    if (auto* slider = qobject_cast<QAbstractSlider*>(widget())) slider->setValue(v.toInt());
  }
  QVariant maximumValue() const override { return range().second; }
  QVariant minimumValue() const override { return range().first; }
  QVariant minimumStepSize() const override {
    auto* slider = qobject_cast<const QAbstractSlider*>(widget());
    return slider ? slider->singleStep() : 1;
  }

 private:
  int value() const {
    if (auto* slider = qobject_cast<const QAbstractSlider*>(widget())) return slider->value();
    return static_cast<const LevelGauge*>(widget())->value();
  }
  std::pair<int, int> range() const {
    if (auto* slider = qobject_cast<const QAbstractSlider*>(widget())) return {slider->minimum(), slider->maximum()};
    auto* gauge = static_cast<const LevelGauge*>(widget());
    return {gauge->minimum(), gauge->maximum()};
  }
};

QAccessibleInterface* skinWidgets(const QString& className, QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  if (!widget) return nullptr;
  if (className == QLatin1String(SkinImage::staticMetaObject.className()) ||
      className == QLatin1String(ShadowLabel::staticMetaObject.className()))
    return new SkinControl(widget);
  if (className == QLatin1String(TrackBar::staticMetaObject.className()))
    return new RangeControl(widget, QAccessible::Slider);
  // The meters move fifty times a second: readers ask for the value when
  // they want it rather than hear each change.
  if (className == QLatin1String(LevelGauge::staticMetaObject.className()))
    return new RangeControl(widget, QAccessible::ProgressBar);
  // A skinned window is a plain widget made a window; the toolkit would
  // call it a filler, and readers look for a frame.
  if (widget->isWindow() && className == QLatin1String(widget->metaObject()->className()) &&
      widget->metaObject()->superClass() == &QWidget::staticMetaObject)
    return new QAccessibleWidget(widget, QAccessible::Window);
  return nullptr;
}

}  // namespace

void InstallAccessibleWidgets() {
  static const bool installed = [] {
    QAccessible::installFactory(skinWidgets);
    return true;
  }();
  (void)installed;
}

}  // namespace ornivox::ui
