#include "platform/runtime/Failure.h"

namespace runtime {

QString descriptionOf(long number) {
    switch (number) {
    case err::InvalidCall: return QStringLiteral("Llamada a procedimiento o argumento no válidos");
    case err::Overflow: return QStringLiteral("Desbordamiento");
    case err::OutOfMemory: return QStringLiteral("Memoria insuficiente");
    case err::DivisionByZero: return QStringLiteral("División por cero");
    case err::InternalError: return QStringLiteral("Error interno");
    case err::FileNotFound: return QStringLiteral("No se encontró el archivo");
    case err::PathFileAccessError: return QStringLiteral("Error de acceso a la ruta o el archivo");
    case err::CannotCreateObject: return QStringLiteral("El componente ActiveX no puede crear el objeto");
    case err::PrinterError: return QStringLiteral("Error de impresora");
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
