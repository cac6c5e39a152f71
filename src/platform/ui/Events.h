#pragma once
// Event processing, and the platform's default for a failure that no handler took.
#include "platform/runtime/Failure.h"

#include <QApplication>
#include <exception>

namespace ui {

// Handles the window messages waiting in the queue (repaint, input) and returns.
void DoEvents();
// The same for a loop that asks after every item: the messages are handled at most every
// kDoEventsMs, well within a screen's refresh, so the window looks and answers the same while the
// loop spends its time on its work rather than on polling.
constexpr int kDoEventsMs = 5;
void DoEventsInLoop();

// The default for a failure that reached the top of an event: a message box titled with the
// application's title that names the error number and its description. The program goes on.
void unhandledFailure(const runtime::Failure& failure) noexcept;
QString unhandledFailureText(const runtime::Failure& failure);

// Runs one event entry point; no failure leaves it.
template <typename F> void handleEvent(F&& f) noexcept {
    try {
        f();
    } catch (const runtime::Failure& e) {
        unhandledFailure(e);
    } catch (const std::bad_alloc&) {
        unhandledFailure(
            runtime::Failure(runtime::err::OutOfMemory, runtime::descriptionOf(runtime::err::OutOfMemory)));
    } catch (const std::exception& e) {
        unhandledFailure(runtime::Failure(-1, QString::fromLocal8Bit(e.what())));
    } catch (...) {
        unhandledFailure(runtime::Failure(-1, QStringLiteral("Error desconocido")));
    }
}

// The application object: a last net under every event, so no exception crosses the event loop.
class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv);
    ~GuardedApplication() override;
    GuardedApplication(const GuardedApplication&) = delete;
    GuardedApplication& operator=(const GuardedApplication&) = delete;
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace ui
