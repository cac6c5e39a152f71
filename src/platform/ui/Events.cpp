#include "platform/ui/Events.h"
#include "platform/ui/App.h"
#include "platform/ui/MsgBox.h"

#include <QCoreApplication>
#include <cstdio>

namespace ui {

void DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

QString textoFallaSinAtender(const rt::Failure& failure) {
    return QStringLiteral("Error '%1' en tiempo de ejecución:\r\n\r\n%2")
        .arg(failure.Number())
        .arg(failure.Description());
}

void fallaSinAtender(const rt::Failure& failure) noexcept {
    try {
        MsgBox(textoFallaSinAtender(failure), vbCritical, App::Title());
    } catch (...) {
        std::fprintf(stderr, "%s\n", failure.what());
    }
}

Aplicacion::Aplicacion(int& argc, char** argv) : QApplication(argc, argv) {}

bool Aplicacion::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    enEvento([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace ui
