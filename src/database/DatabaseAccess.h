#pragma once
// The three routines through which the program reaches its database: the connection string,
// the opening of an updatable recordset, and the null-safe reading of a field.
#include "platform/ado/Errors.h"
#include "platform/ado/Recordset.h"
#include "platform/runtime/FieldValue.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace database {

extern const QString kZukTitle; // "..:: Z U K ::.."

QString CadenaConexion(const QString& folder, const QString& file, const QString& password);

// Releases what the variable holds and leaves a new recordset there, on its first row when it has
// one. On the provider's generic failure it asks the operator to close the database elsewhere and
// tries once more; a failure during that second try goes to the caller.
void AbrirRecordset(const QString& query, std::unique_ptr<ado::Recordset>& rs, ado::Connection& cn, int32_t lockType);

// The value as a text, a number (Null is 0, and a number of zero or more keeps at most 15
// significant digits) or a date (Null becomes 31-12-1899, also in the caller's value); any other
// type code gives the empty result. Failing steps are skipped silently.
enum : int32_t { kTypeText = 0, kTypeNumber = 1, kTypeDate = 2 };
runtime::FieldValue ValorSinNulo(runtime::FieldValue& value, int32_t type);
runtime::FieldValue ValorSinNulo(const ado::Field& field, int32_t type);

} // namespace database
