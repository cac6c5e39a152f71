// The query of an article's entries, composed from its code as the run composes it and opened
// through the database stand-in, selects exactly the entries that carry that code: no more (a
// code that closes the literal and adds a condition), no fewer (a code the quoting mangles).
// What the engine itself selects for the code given as a parameter is the measure.
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "platform/runtime/Failure.h"
#include "update/CostUpdate.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

namespace {

QTemporaryDir* folder = nullptr;
sqlite3* direct = nullptr;
ado::Connection* connection = nullptr;

void exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(direct, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "setup: %s\n", error);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    folder = new QTemporaryDir;
    const QString path = folder->filePath(QStringLiteral("veskgestion.mdb"));
    sqlite3_open(path.toUtf8().constData(), &direct);
    exec("PRAGMA synchronous=OFF;"
         "CREATE TABLE tblHistoricoEntradas (NUMENTRADA INTEGER PRIMARY KEY, CODARTI TEXT NOT NULL COLLATE NOCASE,"
         " entro DATETIME, cantidad REAL, pvp REAL, descuento REAL, PROVEEDOR TEXT);"
         "CREATE INDEX idxEntradasCodigo ON tblHistoricoEntradas(CODARTI COLLATE NOCASE, entro);");
    connection = new ado::Connection;
    connection->Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path + QLatin1Char(';'));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256) return 0;
    const QString code = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // The code's own entries, and others whose codes are near it.
    const QStringList codes = {code,
                               code,
                               code + QLatin1Char('x'),
                               QLatin1Char('x') + code,
                               code + QLatin1Char(' '),
                               QString(code).replace(QLatin1Char('\''), QStringLiteral("''")),
                               code.toUpper(),
                               QStringLiteral("A1"),
                               QStringLiteral("'")};
    exec("BEGIN; DELETE FROM tblHistoricoEntradas;");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(direct, "INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp) VALUES (?, '2024-01-01', 1)", -1,
                       &insert, nullptr);
    for (const QString& c : codes) {
        const QByteArray utf8 = c.toUtf8();
        sqlite3_bind_text(insert, 1, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    exec("COMMIT;");

    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(direct, "SELECT count(*) FROM tblHistoricoEntradas WHERE CODARTI = ?", -1, &count, nullptr);
    const QByteArray utf8 = code.toUtf8();
    sqlite3_bind_text(count, 1, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    sqlite3_step(count);
    const long long expected = sqlite3_column_int64(count, 0);
    sqlite3_finalize(count);

    long long selected = -1;
    QString failure;
    try {
        ado::Recordset rs;
        rs.Open(update::entriesQuery(code), *connection, ado::adOpenKeyset, ado::adLockOptimistic);
        selected = rs.RecordCount();
        rs.Close();
    } catch (const runtime::Failure& f) {
        failure = f.Description();
    }
    connection->endReading(); // the next input's writes need the file
    if (selected != expected) {
        std::fprintf(stderr, "FINDING: the query for [%s] selected %lld entries, the code has %lld (%s)\n",
                     qPrintable(code), selected, expected, qPrintable(failure));
        std::abort();
    }
    return 0;
}
