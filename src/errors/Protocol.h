#pragma once
// The error protocol: every guarded procedure is its numbered steps, run by one step runner whose
// handler shows the error dialog and acts on the operator's choice:
//   "Continuar" (2) resumes at the step after the failing one; "Salir" (1) leaves the procedure;
//   "Enviar Vesk" (3) starts a report of the screen and leaves; no choice (0) leaves.
#include "errors/Identities.h"
#include "platform/runtime/Steps.h"

#include <QString>
#include <cstdint>
#include <limits>

namespace errors {

enum : int16_t { kChoiceNone = 0, kChoiceLeave = 1, kChoiceContinue = 2, kChoiceReport = 3 };

// The operator's last choice, process-wide; first the raw button code, then the choice.
extern int16_t RespuestaError;

QString dialogMessage(const QString& moduleName, const QString& procedureName, const QString& description);

// Shows the dialog "Informando errores " and returns the choice.
int16_t InformarError(const QString& moduleName, const QString& procedureName, const QString& description);

// What "Enviar Vesk" starts: the report of the screen (basCapturaPantalla), which the program sets
// when it starts. The report opens a window whose commands are themselves guarded procedures, so
// it sits above this protocol and is reached through this pointer; with none set, the choice
// only leaves the procedure.
using ReportStarter = void (*)(const QString& moduleName, const QString& procedureName, const QString& description);
void setReportStarter(ReportStarter starter);

// The handler of a guarded procedure; returns the step to go on with, or runtime::kEnd. "Continuar"
// resumes after steps up to lastResumable; after a later step it ends the call.
int handleFailure(const Identity& identity, int step, const runtime::Failure& failure,
                  int lastResumable = std::numeric_limits<int>::max());

template <typename Body>
void runGuarded(const Identity& identity, Body&& body, int first = 1,
                int lastResumable = std::numeric_limits<int>::max()) {
    runtime::runSteps(first, body, [&identity, lastResumable](int step, const runtime::Failure& f) {
        return handleFailure(identity, step, f, lastResumable);
    });
}

} // namespace errors
