#include "errors/Protocolo.h"
#include "errors/basMsgbox.h"

namespace errores {

int16_t RespuestaError = 0;

QString mensajeInformarError(const QString& modulo, const QString& procedimiento, const QString& descripcion) {
    return QStringLiteral("Ocurrió un error:\r\nMódulo: ") + modulo + QStringLiteral("\r\nFunción: ") + procedimiento +
           QStringLiteral("\r\nDescripción: ") + descripcion;
}

int16_t InformarError(QString modulo, QString procedimiento, QString descripcion) {
    const QString mensaje = mensajeInformarError(modulo, procedimiento, descripcion);
    const int32_t botones = 2; // Abort, Retry, Ignore; the first is the default
    const QString titulo = QStringLiteral("Informando errores ");
    const int32_t id1 = 3, id2 = 4, id3 = 5;
    const QString c1 = QStringLiteral("Continuar"), c2 = QStringLiteral("Salir"), c3 = QStringLiteral("Enviar Vesk");
    const int32_t codigo = basMsgbox::MsgBoxExText(mensaje, botones, titulo, id1, c1, id2, c2, id3, c3);
    RespuestaError = static_cast<int16_t>(codigo); // the box's codes all fit in 16 bits
    switch (codigo) {
    case 3: return kEleccionContinuar; // first button
    case 4: return kEleccionSalir;     // second button
    case 5: return kEleccionEnviar;
    default: return kEleccionNinguna;
    }
}

int manejarFallo(const Identidad& identidad, int paso, const rt::Failure& fallo, int ultimoReanudable) {
    RespuestaError = InformarError(QString::fromUtf8(identidad.modulo), QString::fromUtf8(identidad.procedimiento),
                                   fallo.Description());
    switch (RespuestaError) {
    case kEleccionContinuar: return paso <= ultimoReanudable ? paso + 1 : rt::kFin;
    case kEleccionEnviar:
        // The report of the screen joins here; until then the choice leaves like "Salir".
        return rt::kFin;
    default: return rt::kFin;
    }
}

} // namespace errores
