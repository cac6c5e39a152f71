#pragma once
// The error protocol: every guarded procedure is its numbered steps, run by one step runner whose
// handler shows the error dialog and acts on the operator's choice:
//   "Continuar" (2) resumes at the step after the failing one; "Salir" (1) leaves the procedure;
//   "Enviar Vesk" (3) starts a report of the screen and leaves; no choice (0) leaves.
#include "errors/Identidades.h"
#include "platform/runtime/Pasos.h"

#include <QString>
#include <cstdint>
#include <limits>

namespace errores {

enum : int16_t { kEleccionNinguna = 0, kEleccionSalir = 1, kEleccionContinuar = 2, kEleccionEnviar = 3 };

// The operator's last choice, process-wide; first the raw button code, then the choice.
extern int16_t RespuestaError;

QString mensajeInformarError(const QString& modulo, const QString& procedimiento, const QString& descripcion);

// Shows the dialog "Informando errores " and returns the choice.
int16_t InformarError(QString modulo, QString procedimiento, QString descripcion);

// The handler of a guarded procedure; returns the step to go on with, or rt::kFin. "Continuar"
// resumes after steps up to ultimoReanudable; after a later step it ends the call.
int manejarFallo(const Identidad& identidad, int paso, const rt::Failure& fallo,
                 int ultimoReanudable = std::numeric_limits<int>::max());

template <typename Body>
void runGuarded(const Identidad& identidad, Body&& body, int primero = 1,
                int ultimoReanudable = std::numeric_limits<int>::max()) {
    rt::ejecutarPasos(primero, body, [&identidad, ultimoReanudable](int paso, const rt::Failure& f) {
        return manejarFallo(identidad, paso, f, ultimoReanudable);
    });
}

} // namespace errores
