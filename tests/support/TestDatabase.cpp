#include "TestDatabase.h"
#include "platform/ui/App.h"
#include "schema/Schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <sqlite3.h>
#include <stdexcept>

namespace testing {

QString databasePath() { return ui::App::Path() + QStringLiteral("/veskgestion.mdb"); }

namespace {
// Another program's connection: when the file is busy it waits, up to a few seconds, while this
// program goes on (its events run meanwhile, as they would if the other program were apart).
int waitWhileBusy(void*, int tries) {
    if (tries > 1500) return 0;
    QCoreApplication::processEvents();
    QThread::msleep(2);
    return 1;
}

sqlite3* open(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    sqlite3_busy_handler(db, &waitWhileBusy, nullptr);
    return db;
}
} // namespace

TestDatabase::TestDatabase(bool withTables) : path(databasePath()) {
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    if (!withTables) return;
    // The program's tables, each with one column of a shop's own, and their indexes.
    sql(schema::createTable(schema::articles(), {QStringLiteral("FAMILIA TEXT")}) + QLatin1Char(';') +
        schema::createTable(schema::entries(), {QStringLiteral("NUMENTRADA INTEGER PRIMARY KEY")}) + QLatin1Char(';') +
        schema::createIndex(schema::articles()) + QLatin1Char(';') + schema::createIndex(schema::entries()));
}

TestDatabase::~TestDatabase() {
    QFile f(path);
    f.setPermissions(f.permissions() | QFileDevice::WriteOwner);
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

void TestDatabase::sql(const QString& statement) const {
    sqlite3* db = open(path);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, &error);
    const QString text = error ? QString::fromUtf8(error) : QString();
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error(("SQL: " + text + " in " + statement).toStdString());
}

QVariant TestDatabase::value(const QString& query) const {
    sqlite3* db = open(path);
    sqlite3_stmt* st = nullptr;
    QVariant v;
    if (sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        switch (sqlite3_column_type(st, 0)) {
        case SQLITE_INTEGER: v = static_cast<qlonglong>(sqlite3_column_int64(st, 0)); break;
        case SQLITE_FLOAT: v = sqlite3_column_double(st, 0); break;
        case SQLITE_NULL: v = QVariant(); break;
        default: v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))); break;
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
}

namespace {
QString literal(const QVariant& v) {
    if (!v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isNull()))
        return QStringLiteral("NULL");
    if (v.typeId() == QMetaType::QString)
        return QLatin1Char('\'') + v.toString().replace("'", "''") + QLatin1Char('\'');
    return QString::number(v.toDouble(), 'g', 17);
}
} // namespace

void TestDatabase::article(const QString& code, const QString& name, const QVariant& m1, const QVariant& m2,
                           const QVariant& m3) const {
    sql(QStringLiteral("INSERT INTO tblArticulos (CODARTI, NOMARTI, FAMILIA, margen1, margen2, margen3) VALUES "
                       "(%1, %2, 'F', %3, %4, %5)")
            .arg(literal(code), literal(name), literal(m1), literal(m2), literal(m3)));
}

void TestDatabase::entry(const QString& code, const QString& entro, const QVariant& pvp,
                         const QVariant& descuento) const {
    sql(QStringLiteral("INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) VALUES (%1, %2, %3, %4)")
            .arg(literal(code), literal(entro), literal(pvp), literal(descuento)));
}

bool othersCanWrite(const QString& path) {
    sqlite3* db = open(path);
    const bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

Locker::Locker(const QString& path, Mode mode, bool waitUntilLocked) {
    // The helper waits as long as the test would for a file that another lock keeps busy.
    const QString script = QStringLiteral("import sqlite3, sys\n"
                                          "c = sqlite3.connect(sys.argv[1], timeout=60, isolation_level=None)\n"
                                          "if sys.argv[2] == 'x':\n"
                                          "    c.execute('BEGIN EXCLUSIVE')\n"
                                          "else:\n"
                                          "    c.execute('BEGIN')\n"
                                          "    c.execute('SELECT count(*) FROM sqlite_master').fetchone()\n"
                                          "print('bloqueada', flush=True)\n"
                                          "sys.stdin.readline()\n"
                                          "c.execute('COMMIT')\n");
    process_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"), script, path, mode == Exclusive ? QStringLiteral("x") : QStringLiteral("r")});
    if (waitUntilLocked) waitForLine(process_, "bloqueada", 90000);
}

void waitForLine(QProcess& process, const QByteArray& line, int ms) {
    // This program goes on meanwhile, as it would beside another program: its events run, and
    // with them the end of its own reads. Those events may read the helper's output into the
    // process's buffer, so the buffer is looked at before every wait, never only the pipe.
    QElapsedTimer waited;
    waited.start();
    QByteArray said;
    for (;;) {
        while (process.canReadLine()) {
            const QByteArray got = process.readLine();
            if (got.trimmed() == line) return;
            said += got;
        }
        const bool ended = process.state() == QProcess::NotRunning;
        if (ended || waited.elapsed() > ms) {
            if (!ended) {
                process.kill();
                process.waitForFinished(5000);
            }
            said += process.readAll();
            const QString why = ended ? (process.exitStatus() == QProcess::CrashExit
                                             ? QStringLiteral("it crashed")
                                             : QStringLiteral("it ended with status %1").arg(process.exitCode()))
                                      : QStringLiteral("it said nothing for %1 s").arg(ms / 1000);
            throw std::runtime_error(
                QStringLiteral("%1 %2 never said \"%3\": %4 (error: %5).\nIts output: %6\nIts errors: %7")
                    .arg(process.program(),
                         process.arguments().value(0) == QLatin1String("-c")
                             ? QStringLiteral("(helper)")
                             : process.arguments().join(QLatin1Char(' ')),
                         QString::fromUtf8(line), why, process.errorString(), QString::fromUtf8(said),
                         QString::fromUtf8(process.readAllStandardError()))
                    .toStdString());
        }
        process.waitForReadyRead(10);
        QCoreApplication::processEvents();
    }
}

Locker::~Locker() { release(); }

void Locker::release() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.write("\n");
    process_.closeWriteChannel();
    process_.waitForFinished(10000);
}

} // namespace testing
