#include "errors/Protocol.h"
#include "errors/basMsgbox.h"

namespace errors {

int16_t RespuestaError = 0;

QString dialogMessage(const QString& moduleName, const QString& procedureName, const QString& description) {
    return QStringLiteral("Ocurrió un error:\r\nMódulo: ") + moduleName + QStringLiteral("\r\nFunción: ") + procedureName +
           QStringLiteral("\r\nDescripción: ") + description;
}

int16_t InformarError(QString moduleName, QString procedureName, QString description) {
    const QString message = dialogMessage(moduleName, procedureName, description);
    const int32_t buttons = 2; // Abort, Retry, Ignore; the first is the default
    const QString title = QStringLiteral("Informando errores ");
    const int32_t id1 = 3, id2 = 4, id3 = 5;
    const QString c1 = QStringLiteral("Continuar"), c2 = QStringLiteral("Salir"), c3 = QStringLiteral("Enviar Vesk");
    const int32_t code = basMsgbox::MsgBoxExText(message, buttons, title, id1, c1, id2, c2, id3, c3);
    RespuestaError = static_cast<int16_t>(code); // the box's codes all fit in 16 bits
    switch (code) {
    case 3: return kChoiceContinue; // first button
    case 4: return kChoiceLeave;     // second button
    case 5: return kChoiceReport;
    default: return kChoiceNone;
    }
}

int handleFailure(const Identity& identity, int step, const runtime::Failure& failure, int lastResumable) {
    RespuestaError = InformarError(QString::fromUtf8(identity.moduleName), QString::fromUtf8(identity.procedureName),
                                   failure.Description());
    switch (RespuestaError) {
    case kChoiceContinue: return step <= lastResumable ? step + 1 : runtime::kEnd;
    case kChoiceReport:
        // The report of the screen joins here; until then the choice leaves like "Salir".
        return runtime::kEnd;
    default: return runtime::kEnd;
    }
}

} // namespace errors
