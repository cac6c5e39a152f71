#include "platform/ado/Errors.h"
#include "platform/runtime/Failure.h"
#include "schema/FileKind.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <sqlite3.h>

namespace ado {

QString displayName(const QString& path) { return QDir::toNativeSeparators(path); }

void raiseObjectClosed() {
    runtime::raise(err::ObjectClosed, QStringLiteral("No se permite realizar la operación si el objeto está cerrado."));
}

void raiseObjectOpen() {
    runtime::raise(err::NotSupported, QStringLiteral("No se permite realizar la operación si el objeto está abierto."));
}

void raiseNoCurrentRecord() {
    runtime::raise(err::NoCurrentRecord,
                   QStringLiteral("BOF o EOF es True, o el registro actual se eliminó. La operación "
                                  "solicitada requiere un registro actual."));
}

void raiseRowDeleted() {
    runtime::raise(
        err::RowDeleted,
        QStringLiteral("El identificador de fila hace referencia a una fila eliminada o marcada para eliminación."));
}

void raiseInUse(const QString& path) {
    runtime::raise(err::Generic,
                   QStringLiteral("No se pudo usar '%1'; el archivo ya está en uso.").arg(displayName(path)));
}

void raiseUnrecognizedFormat(const QString& path) {
    QString text = QStringLiteral("No se reconoce el formato de la base de datos '%1'.").arg(displayName(path));
    if (schema::fileKind(path) == schema::FileKind::Access) {
        // The shop's own database, as its management program keeps it: it can be brought over.
        const QFileInfo info(path);
        const QString original = info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
                                 QStringLiteral("-access.") + info.suffix();
        text += QStringLiteral(" Es una base de datos de Access: para usarla con este programa, conviértala antes. "
                               "En una terminal:\r\n\r\n  mv '%1' '%2'\r\n  %3 '%2' '%1'")
                    .arg(displayName(path), displayName(original), QStringLiteral("actualizapvp-import"));
    }
    runtime::raise(err::UnrecognizedFormat, text);
}

void raiseSqlite(sqlite3* db, int code, const QString& path) {
    const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    const QString file = displayName(path);
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: raiseInUse(path);
    case SQLITE_READONLY:
        runtime::raise(err::ReadOnly,
                       QStringLiteral("No se puede actualizar. Base de datos u objeto de sólo lectura."));
    case SQLITE_NOTADB: raiseUnrecognizedFormat(path);
    case SQLITE_CORRUPT:
        runtime::raise(err::UnrecognizedFormat,
                       QStringLiteral("La base de datos '%1' está dañada (%2).").arg(file, reason));
    case SQLITE_FULL: runtime::raise(err::DiskFull, QStringLiteral("El disco está lleno (%1).").arg(file));
    case SQLITE_PERM:
    case SQLITE_AUTH:
        runtime::raise(err::AccessDenied, QStringLiteral("Acceso denegado a '%1' (%2).").arg(file, reason));
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        runtime::raise(err::DiskError, QStringLiteral("Error de disco o de red al usar '%1' (%2).").arg(file, reason));
    case SQLITE_NOMEM: runtime::raise(runtime::err::OutOfMemory);
    default: break;
    }
    static const QRegularExpression noTable(QStringLiteral("^no such table: (?:\\w+\\.)?(.*)$"));
    if (const auto m = noTable.match(reason); m.hasMatch())
        runtime::raise(
            err::TableNotFound,
            QStringLiteral("El motor de base de datos no puede encontrar la tabla o consulta de entrada '%1'. "
                           "Asegúrese de que existe y que su nombre está escrito correctamente.")
                .arg(m.captured(1)));
    if (reason.startsWith(QLatin1String("no such column")))
        runtime::raise(err::ColumnNotFound,
                       QStringLiteral("No se han especificado valores para algunos de los parámetros requeridos (%1).")
                           .arg(reason));
    if ((code & 0xff) == SQLITE_CONSTRAINT || (code & 0xff) == SQLITE_MISMATCH || (code & 0xff) == SQLITE_TOOBIG)
        runtime::raise(err::Integrity, QStringLiteral("La base de datos rechazó el cambio (%1).").arg(reason));
    runtime::raise(err::Syntax, QStringLiteral("Error de sintaxis en la instrucción SQL (%1).").arg(reason));
}

} // namespace ado
