#include "platform/ui/ProgressBar.h"
#include "platform/runtime/Failure.h"

#include <QMouseEvent>
#include <cmath>

namespace ui {

namespace {
// Drawn resolution: the bar repaints only when this changes. Half a percent moves the chunk by
// three pixels; finer steps only cost paints (about half a millisecond each).
constexpr int kPasosDibujo = 200;
} // namespace

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    QProgressBar::setRange(0, kPasosDibujo);
    QProgressBar::setValue(0);
    setTextVisible(false);
    setFocusPolicy(Qt::NoFocus);
}

void ProgressBar::setMin(float min) {
    if (!(min < max_) || value_ < min) rt::raise(rt::err::PropiedadNoValida);
    min_ = min;
    dibujar();
}

void ProgressBar::setMax(float max) {
    if (!(max > min_) || value_ > max) rt::raise(rt::err::PropiedadNoValida);
    max_ = max;
    dibujar();
}

void ProgressBar::setValue(float value) {
    if (!(value >= min_ && value <= max_)) rt::raise(rt::err::PropiedadNoValida);
    value_ = value;
    dibujar();
}

void ProgressBar::resetToDefaults() {
    min_ = 0;
    max_ = 100;
    value_ = 0;
    dibujar();
}

void ProgressBar::dibujar() {
    const double fraccion = (static_cast<double>(value_) - min_) / (static_cast<double>(max_) - min_);
    const int paso = static_cast<int>(std::floor(fraccion * kPasosDibujo));
    if (paso == QProgressBar::value()) return;
    QProgressBar::setValue(paso);
    // QProgressBar skips repaints of small changes once any part of it was painted since, and a
    // label overlapping its edge repaints that part at every new text: ask for the paint here.
    update();
}

void ProgressBar::mouseReleaseEvent(QMouseEvent* event) {
    QProgressBar::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit Click();
}

} // namespace ui
