#include "platform/ui/ProgressBar.h"
#include "platform/runtime/Failure.h"

#include <QMouseEvent>
#include <cmath>

namespace ui {

namespace {
// Drawn resolution: the bar repaints only when this changes. Half a percent moves the chunk by
// three pixels; finer steps only cost paints (about half a millisecond each).
constexpr int kDrawnSteps = 200;
} // namespace

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    QProgressBar::setRange(0, kDrawnSteps);
    QProgressBar::setValue(0);
    setTextVisible(false);
    setFocusPolicy(Qt::NoFocus);
}

void ProgressBar::setMin(float min) {
    if (!(min < max_) || value_ < min) runtime::raise(runtime::err::InvalidPropertyValue);
    min_ = min;
    redraw();
}

void ProgressBar::setMax(float max) {
    if (!(max > min_) || value_ > max) runtime::raise(runtime::err::InvalidPropertyValue);
    max_ = max;
    redraw();
}

void ProgressBar::setValue(float value) {
    if (!(value >= min_ && value <= max_)) runtime::raise(runtime::err::InvalidPropertyValue);
    value_ = value;
    redraw();
}

void ProgressBar::resetToDefaults() {
    min_ = 0;
    max_ = 100;
    value_ = 0;
    redraw();
}

void ProgressBar::redraw() {
    const double fraction = (static_cast<double>(value_) - min_) / (static_cast<double>(max_) - min_);
    const int step = static_cast<int>(std::floor(fraction * kDrawnSteps));
    if (step == QProgressBar::value()) return;
    QProgressBar::setValue(step);
    // QProgressBar skips repaints of small changes once any part of it was painted since, and a
    // label overlapping its edge repaints that part at every new text: ask for the paint here.
    update();
}

void ProgressBar::mouseReleaseEvent(QMouseEvent* event) {
    QProgressBar::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit Click();
}

} // namespace ui
