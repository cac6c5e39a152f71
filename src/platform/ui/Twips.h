#pragma once
// Positions and sizes in twips, 1/1440 inch: 1440 / logical DPI twips per pixel (15 at 96 DPI).
class QWidget;

namespace ui {

double TwipsPerPixelX();
double TwipsPerPixelY();
int toPixelsX(double twips);
int toPixelsY(double twips);

// Places a control at Left, Top, Width, Height given in twips within its parent's client area.
void place(QWidget* control, double left, double top, double width, double height);

} // namespace ui
