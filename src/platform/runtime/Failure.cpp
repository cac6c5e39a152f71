#include "platform/runtime/Failure.h"

namespace runtime {

QString descriptionOf(long number) {
    switch (number) {
    case err::InvalidCall: return QStringLiteral("Llamada a procedimiento o argumento no válidos");
    case err::Overflow: return QStringLiteral("Desbordamiento");
    case err::OutOfMemory: return QStringLiteral("Memoria insuficiente");
    case err::DivisionByZero: return QStringLiteral("División por cero");
    case err::InternalError: return QStringLiteral("Error interno");
    case err::PathFileAccessError: return QStringLiteral("Error de acceso a la ruta o el archivo");
    case err::TypeMismatch: return QStringLiteral("No coinciden los tipos");
    case err::ObjectNotSet: return QStringLiteral("Variable de objeto o bloque With no establecida");
    case err::InvalidUseOfNull: return QStringLiteral("Uso no válido de Null");
    case err::InvalidPropertyValue: return QStringLiteral("El valor de la propiedad no es válido");
    default: return QStringLiteral("Error definido por la aplicación o el objeto");
    }
}

void raise(long number) { throw Failure(number, descriptionOf(number)); }

void raise(long number, const QString& description) { throw Failure(number, description); }

} // namespace runtime
