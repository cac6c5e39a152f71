#pragma once
// The start of an error report: a picture of the active window, taken with the platform's own key
// combination through the clipboard, shown in a new error preview window with the error line.
#include "platform/runtime/FieldValue.h"

#include <QString>

namespace report::basCapturaPantalla {

// Returns an empty value. Each call opens a window of its own, behind the other windows.
runtime::FieldValue capturapantalla(const QString& modulo, const QString& procedimiento, const QString& descripcion);

// The protocol's "Enviar Vesk" (see errors::setReportStarter).
void startReport(const QString& moduleName, const QString& procedureName, const QString& description);

} // namespace report::basCapturaPantalla
