#include "errors/Protocol.h"
#include "errors/basMsgbox.h"
#include "platform/ui/MsgBox.h"

namespace errors {

int16_t RespuestaError = 0;

QString dialogMessage(const QString& moduleName, const QString& procedureName, const QString& description) {
    return QStringLiteral("Ocurrió un error:\r\nMódulo: ") + moduleName + QStringLiteral("\r\nFunción: ") +
           procedureName + QStringLiteral("\r\nDescripción: ") + description;
}

int16_t InformarError(const QString& moduleName, const QString& procedureName, const QString& description) {
    const QString message = dialogMessage(moduleName, procedureName, description);
    const int32_t buttons = ui::vbAbortRetryIgnore; // no icon; the first button is the default
    const QString title = QStringLiteral("Informando errores ");
    const int32_t id1 = ui::vbAbort, id2 = ui::vbRetry, id3 = ui::vbIgnore;
    const QString c1 = QStringLiteral("Continuar"), c2 = QStringLiteral("Salir"), c3 = QStringLiteral("Enviar Vesk");
    const int32_t code = basMsgbox::MsgBoxExText(message, buttons, title, id1, c1, id2, c2, id3, c3);
    RespuestaError = static_cast<int16_t>(code); // the box's codes all fit in 16 bits
    switch (code) {
    case ui::vbAbort: return kChoiceContinue; // the first button, "Continuar"
    case ui::vbRetry: return kChoiceLeave;    // the second, "Salir": the codes cross
    case ui::vbIgnore: return kChoiceReport;  // "Enviar Vesk"
    default: return kChoiceNone;
    }
}

namespace {
ReportStarter reportStarter = nullptr;
} // namespace

void setReportStarter(ReportStarter starter) { reportStarter = starter; }

int handleFailure(const Identity& identity, int step, const runtime::Failure& failure, int lastResumable) {
    RespuestaError = InformarError(QString::fromUtf8(identity.moduleName), QString::fromUtf8(identity.procedureName),
                                   failure.Description());
    switch (RespuestaError) {
    case kChoiceContinue: return step <= lastResumable ? step + 1 : runtime::kEnd;
    case kChoiceReport:
        // The same description the dialog showed; when the report returns, the procedure is left.
        if (reportStarter)
            reportStarter(QString::fromUtf8(identity.captureModule), QString::fromUtf8(identity.captureProcedure),
                          failure.Description());
        return runtime::kEnd;
    default: return runtime::kEnd;
    }
}

} // namespace errors
