#include "history/PriceHistory.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Statement.h"
#include "platform/ado/writes/ChangeLog.h"
#include "schema/Schema.h"

#include <QDateTime>
#include <QStringList>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace history {

namespace {

QString createRuns() {
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (run INTEGER PRIMARY KEY AUTOINCREMENT, moment TEXT NOT NULL, "
                          "user TEXT NOT NULL, articles INTEGER NOT NULL DEFAULT 0, undone TEXT)")
        .arg(QLatin1String(kRunsTable));
}

QString createChanges() {
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id INTEGER PRIMARY KEY, articles INTEGER NOT NULL, "
                          "changes BLOB NOT NULL)")
        .arg(QLatin1String(kChangesTable));
}

void exec(ado::Connection& cn, const QString& sql) {
    const auto st = cn.statement(sql);
    while (st->step()) {
    }
    st->reset();
}

// The run as this connection writes it: made in the file by the first write transaction, and
// again by a later one if that first one did not reach the file.
struct Run {
    QString moment = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    QString user = userName();
    long long number = 0;

    bool inFile(ado::Connection& cn) const {
        if (!number) return false;
        const auto st = cn.statement(
            QStringLiteral("SELECT 1 FROM %1 WHERE run=? AND moment=? AND user=?").arg(QLatin1String(kRunsTable)));
        st->bind(1, number);
        st->bind(2, moment);
        st->bind(3, user);
        const bool found = st->step();
        st->reset();
        return found;
    }

    // First in every write transaction of the connection, before the prices.
    void begin(ado::Connection& cn) {
        exec(cn, createRuns());
        exec(cn, createChanges());
        if (!inFile(cn)) add(cn);
    }

    // A piece of the changes, next in the run's range of keys.
    void logged(ado::Connection& cn, const QByteArray& records, int rows) const {
        const auto piece = cn.statement(
            QStringLiteral("INSERT INTO %1 (id, articles, changes) VALUES ((SELECT coalesce(max(id), ?1) + 1 FROM %1 "
                           "WHERE id BETWEEN ?1 AND ?2), ?3, ?4)")
                .arg(QLatin1String(kChangesTable)));
        piece->bind(1, keyOf(number, 0));
        piece->bind(2, keyOf(number + 1, 0) - 1);
        piece->bind(3, static_cast<long long>(rows));
        piece->bindBlob(4, records);
        piece->step();
        piece->reset();
    }

    // Last in every write transaction of the connection, before it commits.
    void end(ado::Connection& cn, std::size_t rows) const {
        if (!rows) return;
        const auto count = cn.statement(
            QStringLiteral("UPDATE %1 SET articles = articles + ? WHERE run = ?").arg(QLatin1String(kRunsTable)));
        count->bind(1, static_cast<long long>(rows));
        count->bind(2, number);
        count->step();
        count->reset();
    }

    // The run, new in the file; the oldest runs beyond the kept ones go, with their changes.
    void add(ado::Connection& cn) {
        const auto add =
            cn.statement(QStringLiteral("INSERT INTO %1 (moment, user) VALUES (?, ?)").arg(QLatin1String(kRunsTable)));
        add->bind(1, moment);
        add->bind(2, user);
        add->step();
        add->reset();
        const auto id = cn.statement(QStringLiteral("SELECT last_insert_rowid()"));
        id->step();
        number = id->columnInt64(0);
        id->reset();
        // The changes of older runs have keys below the oldest kept run's.
        const QString oldest = QStringLiteral("(SELECT min(run) FROM (SELECT run FROM %1 ORDER BY run DESC LIMIT %2))")
                                   .arg(QLatin1String(kRunsTable))
                                   .arg(kKeptRuns);
        for (const char* table : {kChangesTable, kPricesTable})
            if (hasTable(cn, table))
                exec(cn, QStringLiteral("DELETE FROM %1 WHERE id < %2 << %3")
                             .arg(QLatin1String(table), oldest)
                             .arg(kPieceBits));
        exec(cn, QStringLiteral("DELETE FROM %1 WHERE run < %2").arg(QLatin1String(kRunsTable), oldest));
    }
};

} // namespace

QString userName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return QString::fromLocal8Bit(pw->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QString::number(::geteuid()) : user;
}

bool hasTable(ado::Connection& cn, const char* name) {
    const auto st = cn.statement(QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type='table' AND name=?"));
    st->bind(1, QString::fromLatin1(name));
    const bool found = st->step();
    st->reset();
    return found;
}

void recordRun(ado::Connection& connection) {
    auto run = std::make_shared<Run>();
    QStringList prices;
    for (const char* c : kPriceColumns)
        prices << QLatin1String(c);
    connection.logChanges(
        {schema::articles().name, {QStringLiteral("CODARTI")}, prices},
        [&connection, run](const QByteArray& records, int rows) { run->logged(connection, records, rows); });
    connection.onWriteTransaction([&connection, run] { run->begin(connection); },
                                  [&connection, run](std::size_t rows) { run->end(connection, rows); });
}

} // namespace history
