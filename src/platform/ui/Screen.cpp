#include "platform/ui/Screen.h"
#include "platform/ui/Twips.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace ui {

namespace {
int current = Screen::vbDefault; // the pointer shown
} // namespace

double Screen::Width() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() * TwipsPerPixelX() : 0;
}

double Screen::Height() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() * TwipsPerPixelY() : 0;
}

int Screen::MousePointer() { return current; }

void Screen::setMousePointer(int pointer) {
    const bool hourglass = pointer == vbHourglass;
    if (hourglass && current != vbHourglass)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else if (!hourglass && current == vbHourglass)
        QGuiApplication::restoreOverrideCursor();
    current = hourglass ? vbHourglass : pointer;
}

} // namespace ui
