#include "history/PriceHistory.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Statement.h"
#include "platform/runtime/Failure.h"
#include "schema/Schema.h"

#include <QDateTime>
#include <QStringList>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace history {

namespace {

QString columns(const QString& prefix) {
    QStringList names;
    for (const char* c : kPriceColumns)
        names << prefix + QLatin1String(c);
    return names.join(QLatin1String(", "));
}

QString createRuns() {
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (run INTEGER PRIMARY KEY AUTOINCREMENT, moment TEXT NOT NULL, "
                          "user TEXT NOT NULL, articles INTEGER NOT NULL DEFAULT 0, undone TEXT)")
        .arg(QLatin1String(kRunsTable));
}

// Values are kept without a type of their own (no affinity): a text found in a price column is
// kept, and put back, as the same text.
QString createPrices() {
    QStringList values;
    for (const char* c : kPriceColumns)
        values << QStringLiteral("old_%1").arg(QLatin1String(c));
    for (const char* c : kPriceColumns)
        values << QStringLiteral("new_%1").arg(QLatin1String(c));
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id INTEGER PRIMARY KEY, code, %2)")
        .arg(QLatin1String(kPricesTable), values.join(QLatin1String(", ")));
}

QString createView() {
    return QStringLiteral("CREATE VIEW IF NOT EXISTS %1 AS SELECT id >> %2 AS run, id & %3 AS article, * FROM %4")
        .arg(QLatin1String(kChangesView))
        .arg(kArticleBits)
        .arg((1LL << kArticleBits) - 1)
        .arg(QLatin1String(kPricesTable));
}

constexpr auto kRunNow = "actualizapvp_run_now"; // this connection's run: a TEMP table of one row

// A write of the five columns that changes them keeps a history row (the first values replaced,
// the last written, when a run writes an article twice). The articles a transaction wrote are
// counted in its run as it commits (Run::end).
QString createTrigger() {
    const QString articles = schema::quoted(schema::articles().name);
    QStringList same, update;
    for (const char* c : kPriceColumns) {
        same << QStringLiteral("OLD.%1 IS NEW.%1").arg(QLatin1String(c));
        update << QStringLiteral("new_%1 = excluded.new_%1").arg(QLatin1String(c));
    }
    // A row number the key cannot hold, or no run, gives a text for a key: the engine refuses
    // the write ("datatype mismatch") as the key's own type check, at no cost to the other rows
    // (a RAISE would make every write of the run keep a statement journal).
    const QString key =
        QStringLiteral("CASE WHEN NEW.rowid BETWEEN 0 AND %1 THEN coalesce(((SELECT run FROM %2) << %3) | NEW.rowid, "
                       "'sin clave') ELSE 'sin clave' END")
            .arg((1LL << kArticleBits) - 1)
            .arg(QLatin1String(kRunNow))
            .arg(kArticleBits);
    return QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS actualizapvp_price_history AFTER UPDATE OF %1 ON main.%2 "
                          "BEGIN "
                          "INSERT INTO %3 SELECT %4, NEW.CODARTI, %5, %6 WHERE NOT (%7) "
                          "ON CONFLICT (id) DO UPDATE SET %8; "
                          "END")
        .arg(columns({}), articles, QLatin1String(kPricesTable), key, columns(QStringLiteral("OLD.")),
             columns(QStringLiteral("NEW.")), same.join(QLatin1String(" AND ")), update.join(QLatin1String(", ")));
}

void exec(ado::Connection& cn, const QString& sql) {
    const auto st = cn.statement(sql);
    while (st->step()) {
    }
    st->reset();
}

// The connection's own objects (TEMP): made before the run reads, they change nothing in the file
// and cost the run's statements no recompiling.
void installTrigger(ado::Connection& cn) {
    exec(cn, QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS %1 (run INTEGER)").arg(QLatin1String(kRunNow)));
    exec(cn, createTrigger());
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

    // First in every write transaction of the connection, before the prices.
    void begin(ado::Connection& cn) {
        exec(cn, createRuns());
        exec(cn, createPrices());
        exec(cn, createView());
        installTrigger(cn); // already there, unless the articles' table was missing when the run began
        if (!inFile(cn)) add(cn);
        // The trigger's run, set in every transaction: a TEMP table's change is rolled back with
        // a COMMIT that failed, even where the file's part of it landed.
        exec(cn, QStringLiteral("DELETE FROM %1").arg(QLatin1String(kRunNow)));
        const auto now = cn.statement(QStringLiteral("INSERT INTO %1 VALUES (?)").arg(QLatin1String(kRunNow)));
        now->bind(1, number);
        now->step();
        now->reset();
    }

    // The run, new in the file; the oldest runs beyond the kept ones go, with their prices.
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
        // Prices of older runs have keys below the oldest kept run's.
        const QString oldest = QStringLiteral("(SELECT min(run) FROM (SELECT run FROM %1 ORDER BY run DESC LIMIT %2))")
                                   .arg(QLatin1String(kRunsTable))
                                   .arg(kKeptRuns);
        exec(cn, QStringLiteral("DELETE FROM %1 WHERE id < %2 << %3")
                     .arg(QLatin1String(kPricesTable), oldest)
                     .arg(kArticleBits));
        exec(cn, QStringLiteral("DELETE FROM %1 WHERE run < %2").arg(QLatin1String(kRunsTable), oldest));
    }
};

} // namespace

QString userName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return QString::fromLocal8Bit(pw->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QString::number(::geteuid()) : user;
}

void recordRun(ado::Connection& connection) {
    auto run = std::make_shared<Run>();
    try {
        installTrigger(connection);
    } catch (const runtime::Failure&) {
        // No articles' table: nothing will be written to it.
    }
    connection.onWriteTransaction([&connection, run] { run->begin(connection); },
                                  [&connection, run](std::size_t rows) { run->end(connection, rows); });
}

} // namespace history
