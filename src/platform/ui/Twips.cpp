#include "platform/ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace ui {

namespace {
double dpi(bool x) {
    const QScreen* s = QGuiApplication::primaryScreen();
    if (!s) return 96.0;
    const double v = x ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY();
    return v > 0 ? v : 96.0;
}
} // namespace

double TwipsPerPixelX() { return 1440.0 / dpi(true); }
double TwipsPerPixelY() { return 1440.0 / dpi(false); }
int toPixelsX(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixelX())); }
int toPixelsY(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixelY())); }

void place(QWidget* control, double left, double top, double width, double height) {
    control->setGeometry(toPixelsX(left), toPixelsY(top), toPixelsX(width), toPixelsY(height));
}

} // namespace ui
