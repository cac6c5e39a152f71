#include "platform/ui/Events.h"
#include "platform/ui/App.h"
#include "platform/ui/MsgBox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace ui {

void DoEvents() {
    // A loop that asks after every item would spend its time polling: the events are handled at
    // most every kDoEventsMs, well within a screen's refresh, so the window looks and answers the
    // same.
    static QElapsedTimer last;
    if (last.isValid() && last.elapsed() < kDoEventsMs) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    last.restart();
}

QString unhandledFailureText(const runtime::Failure& failure) {
    return QStringLiteral("Error '%1' en tiempo de ejecución:\r\n\r\n%2")
        .arg(failure.Number())
        .arg(failure.Description());
}

void unhandledFailure(const runtime::Failure& failure) noexcept {
    try {
        MsgBox(unhandledFailureText(failure), vbCritical, App::Title());
    } catch (...) {
        std::fprintf(stderr, "%s\n", failure.what());
    }
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    handleEvent([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace ui
