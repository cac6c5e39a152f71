#include "util/Progreso.h"
#include "errors/Protocolo.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/runtime/Conversions.h"

namespace util {

QString textoProgreso(const QString& TEXTO, double porcentaje) {
    return TEXTO + QStringLiteral("    ") + rt::formatoAlmohadillas(porcentaje) + QLatin1Char('%');
}

void progreso(const errores::Identidad& identidad, int32_t value, int32_t max, const bool& donde, const QString& TEXTO,
              const std::function<void(const QString&)>& aTitulo,
              const std::function<void(const QString&)>& aEtiqueta) {
    double porcentaje = 0;
    QString texto;
    errores::runGuarded(identidad, [&](int paso) {
        switch (paso) {
        case 1: porcentaje = rt::cociente(rt::productoLng(value, 100), max); break;
        case 2: texto = textoProgreso(TEXTO, porcentaje); break;
        case 3:
            if (donde)
                aTitulo(texto);
            else
                aEtiqueta(texto);
            return rt::kFin;
        default: return rt::kFin;
        }
        return paso + 1;
    },
    1, 1); // after a failure of the text or of where it goes, "Continuar" ends the call
}

} // namespace util
