#include "platform/ui/Events.h"
#include "platform/runtime/OperatorWait.h"
#include "platform/ui/App.h"
#include "platform/ui/MsgBox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace ui {

namespace {
QElapsedTimer lastHandled;
}

void DoEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    lastHandled.restart();
}

void DoEventsInLoop() {
    if (lastHandled.isValid() && lastHandled.elapsed() < kDoEventsMs) return;
    DoEvents();
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

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // A warning the lower layers give (a database on a network drive, say) is a box at once.
    runtime::setOperatorTeller([](const QString& message) { MsgBox(message, vbOKOnly | vbExclamation, App::Title()); });
}

// Without the application no box can be shown: what is told later waits for the next wait.
GuardedApplication::~GuardedApplication() { runtime::setOperatorTeller({}); }

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    handleEvent([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace ui
