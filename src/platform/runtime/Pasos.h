#pragma once
// The run-time's failure handling, step by step. A procedure is written as its numbered steps:
// the body performs exactly the step it is given and returns the number of the next one (usually
// the following number; a test returns its branch target; kFin leaves the procedure).
//
// When a step fails, the rest of that step is abandoned and the handler decides: it returns the
// step to resume at (paso + 1 is "resume next", and a failing test then falls into its block) or
// kFin to leave. The handler runs outside the guarded region, so a failure raised while it runs
// goes to the caller. Values the failing step was to produce keep their previous contents, since
// a step assigns its results only once it has computed them.
//
// Any C++ exception of a step is a failure of that step: running out of memory is the run-time's
// error 7, anything else its internal error 51, so every procedure treats it like any other.
#include "platform/runtime/Failure.h"

#include <new>
#include <optional>

namespace rt {

constexpr int kFin = 0;

template <typename Body, typename Handler> void ejecutarPasos(int primero, Body&& body, Handler&& handler) {
    int paso = primero;
    while (paso != kFin) {
        std::optional<Failure> fallo;
        try {
            paso = body(paso);
            continue;
        } catch (const Failure& f) {
            fallo = f;
        } catch (const std::bad_alloc&) {
            fallo.emplace(err::MemoriaInsuficiente, descripcionDe(err::MemoriaInsuficiente));
        } catch (const std::exception& e) {
            fallo.emplace(err::ErrorInterno, descripcionDe(err::ErrorInterno) + QStringLiteral(" (") +
                                                 QString::fromLocal8Bit(e.what()) + QLatin1Char(')'));
        } catch (...) {
            fallo.emplace(err::ErrorInterno, descripcionDe(err::ErrorInterno));
        }
        paso = handler(paso, *fallo);
    }
}

// "On Error Resume Next": every failing step is skipped silently.
template <typename Body> void ejecutarPasosOmitiendoFallos(int primero, Body&& body) {
    ejecutarPasos(primero, body, [](int paso, const Failure&) { return paso + 1; });
}

} // namespace rt
