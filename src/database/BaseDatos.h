#pragma once
// The three routines through which the program reaches its database: the connection string,
// the opening of an updatable recordset, and the null-safe reading of a field.
#include "platform/ado/Errors.h"
#include "platform/ado/Recordset.h"
#include "platform/runtime/FieldValue.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace bd {

extern const QString kTituloZuk; // "..:: Z U K ::.."

QString CadenaConexion(const QString& carpeta, const QString& archivo, const QString& password);

// Releases what the variable holds and leaves a new recordset there, on its first row when it has
// one. On the provider's generic failure it asks the operator to close the database elsewhere and
// tries once more; a failure during that second try goes to the caller.
void AbrirRecordset(const QString& consulta, std::unique_ptr<ado::Recordset>& rs, ado::Connection& cn,
                    int32_t tipoBloqueo);

// Type code 0: text; 1: number; 2: date (Null becomes 31-12-1899, also in the caller's value);
// any other: the empty result. Failing steps are skipped silently.
rt::FieldValue ValorSinNulo(rt::FieldValue& valor, int32_t tipo);
rt::FieldValue ValorSinNulo(const ado::Field& campo, int32_t tipo);

} // namespace bd
