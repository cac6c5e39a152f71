#include "platform/runtime/Failure.h"

namespace rt {

QString descripcionDe(long number) {
    switch (number) {
    case err::LlamadaNoValida: return QStringLiteral("Llamada a procedimiento o argumento no válidos");
    case err::Desbordamiento: return QStringLiteral("Desbordamiento");
    case err::MemoriaInsuficiente: return QStringLiteral("Memoria insuficiente");
    case err::DivisionPorCero: return QStringLiteral("División por cero");
    case err::ErrorInterno: return QStringLiteral("Error interno");
    case err::TiposNoCoinciden: return QStringLiteral("No coinciden los tipos");
    case err::ObjetoNoEstablecido: return QStringLiteral("Variable de objeto o bloque With no establecida");
    case err::UsoNoValidoDeNull: return QStringLiteral("Uso no válido de Null");
    case err::PropiedadNoValida: return QStringLiteral("El valor de la propiedad no es válido");
    default: return QStringLiteral("Error definido por la aplicación o el objeto");
    }
}

void raise(long number) { throw Failure(number, descripcionDe(number)); }

void raise(long number, const QString& description) { throw Failure(number, description); }

} // namespace rt
