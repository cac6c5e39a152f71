#pragma once
// The parts of an OLE DB connection string that the Jet provider uses. Pairs are separated by
// ";"; a ";" that is not followed by one of the provider's keywords belongs to the value, so a
// folder or a password with a ";" in it comes through whole.
#include <QString>

namespace ado {

struct ConnectionStringParts {
    QString provider, dataSource, password;
};

ConnectionStringParts parseConnectionString(const QString& connectionString);

} // namespace ado
