#include "platform/ui/Screen.h"
#include "platform/ui/Twips.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace ui {

namespace {
int pointer = Screen::vbDefault;
} // namespace

double Screen::Width() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() * TwipsPerPixelX() : 0;
}

double Screen::Height() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() * TwipsPerPixelY() : 0;
}

int Screen::MousePointer() { return pointer; }

void Screen::setMousePointer(int value) {
    const bool hourglass = value == vbHourglass;
    if (hourglass && pointer != vbHourglass)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else if (!hourglass && pointer == vbHourglass)
        QGuiApplication::restoreOverrideCursor();
    pointer = hourglass ? vbHourglass : value;
}

} // namespace ui
