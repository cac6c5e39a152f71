#pragma once
// Event processing, and the platform's default for a failure that no handler took.
#include "platform/runtime/Failure.h"

#include <QApplication>
#include <exception>

namespace ui {

// Handles the window messages waiting in the queue (repaint, input) and returns.
void DoEvents();

// The default for a failure that reached the top of an event: a message box titled with the
// application's title that names the error number and its description. The program goes on.
void fallaSinAtender(const rt::Failure& failure) noexcept;
QString textoFallaSinAtender(const rt::Failure& failure);

// Runs one event entry point; no failure leaves it.
template <typename F> void enEvento(F&& f) noexcept {
    try {
        f();
    } catch (const rt::Failure& e) {
        fallaSinAtender(e);
    } catch (const std::bad_alloc&) {
        fallaSinAtender(rt::Failure(rt::err::MemoriaInsuficiente, rt::descripcionDe(rt::err::MemoriaInsuficiente)));
    } catch (const std::exception& e) {
        fallaSinAtender(rt::Failure(-1, QString::fromLocal8Bit(e.what())));
    } catch (...) {
        fallaSinAtender(rt::Failure(-1, QStringLiteral("Error desconocido")));
    }
}

// The application object: a last net under every event, so no exception crosses the event loop.
class Aplicacion : public QApplication {
public:
    Aplicacion(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace ui
