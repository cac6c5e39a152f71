#include "history/Undo.h"
#include "history/PriceHistory.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Statement.h"
#include "platform/runtime/Conversions.h"
#include "schema/Schema.h"

#include <QDateTime>
#include <QStringList>

namespace history {

namespace {

QString runs() { return QLatin1String(kRunsTable); }
QString prices() { return QLatin1String(kPricesTable); }
QString articles() { return schema::quoted(schema::articles().name); }

// "a.costesiniva IS h.new_costesiniva AND ...": the article holds exactly what the run wrote.
QString holdsWhatItWrote(const QString& article) {
    QStringList same;
    for (const char* c : kPriceColumns)
        same << QStringLiteral("%1.%2 IS h.new_%2").arg(article, QLatin1String(c));
    return same.join(QLatin1String(" AND "));
}

RunInfo runFrom(const ado::Statement& st) {
    RunInfo r;
    r.number = st.columnInt64(0);
    r.moment = runtime::textOf(st.column(1)).left(19);
    r.user = runtime::textOf(st.column(2));
    r.articles = st.columnInt64(3);
    r.undone = st.column(4).isNull() ? QString() : runtime::textOf(st.column(4)).left(19);
    r.changed = st.columnInt64(5);
    return r;
}

// The keys of a run's history rows are those from keyOf(run, 0) to keyOf(run + 1, 0) - 1.
long long firstKey(long long run) { return keyOf(run, 0); }
long long lastKey(long long run) { return keyOf(run + 1, 0) - 1; }

QString runQuery(const QString& where) {
    return QStringLiteral("SELECT run, moment, user, articles, undone, (SELECT count(*) FROM %1 p WHERE p.id BETWEEN "
                          "r.run << %4 AND ((r.run + 1) << %4) - 1) FROM %2 r %3 ORDER BY run")
        .arg(prices(), runs(), where)
        .arg(kArticleBits);
}

} // namespace

bool hasHistory(ado::Connection& cn) {
    const auto st =
        cn.statement(QStringLiteral("SELECT count(*) FROM sqlite_schema WHERE type='table' AND name IN (?, ?)"));
    st->bind(1, runs());
    st->bind(2, prices());
    st->step();
    const bool both = st->columnInt64(0) == 2;
    st->reset();
    return both;
}

std::vector<RunInfo> runs(ado::Connection& cn) {
    std::vector<RunInfo> all;
    const auto st = cn.statement(runQuery({}));
    while (st->step())
        all.push_back(runFrom(*st));
    st->reset();
    return all;
}

std::optional<RunInfo> run(ado::Connection& cn, long long number) {
    const auto st = cn.statement(runQuery(QStringLiteral("WHERE run = ?")));
    st->bind(1, number);
    std::optional<RunInfo> found;
    if (st->step()) found = runFrom(*st);
    st->reset();
    return found;
}

void forEachChange(ado::Connection& cn, long long number, const std::function<void(const Change&)>& f) {
    QStringList values;
    for (const char* c : kPriceColumns)
        values << QStringLiteral("h.old_%1").arg(QLatin1String(c));
    for (const char* c : kPriceColumns)
        values << QStringLiteral("h.new_%1").arg(QLatin1String(c));
    const auto st =
        cn.statement(QStringLiteral("SELECT h.code, (SELECT a.NOMARTI FROM %1 a WHERE a.rowid = h.id - ?1 "
                                    "AND a.CODARTI IS h.code), %2 FROM %3 h WHERE h.id BETWEEN ?1 AND ?2 ORDER BY h.id")
                         .arg(articles(), values.join(QLatin1String(", ")), prices()));
    st->bind(1, firstKey(number));
    st->bind(2, lastKey(number));
    Change c;
    while (st->step()) {
        c.code = runtime::textOf(st->column(0));
        c.name = st->column(1).isNull() ? QString() : runtime::textOf(st->column(1));
        for (int i = 0; i < 5; ++i) {
            c.oldValues[i] = st->column(2 + i);
            c.newValues[i] = st->column(7 + i);
        }
        f(c);
    }
    st->reset();
}

UndoResult undo(ado::Connection& cn, long long number, const std::function<void(long long, long long)>& progress,
                const std::function<bool()>& stop) {
    UndoResult result;
    // A later run still in force wrote its own prices over this one's, also where they were the
    // same: runs are put back from the newest.
    {
        const auto later = cn.statement(QStringLiteral("SELECT max(run) FROM %1 WHERE run > ? AND undone IS NULL AND "
                                                       "articles > 0")
                                            .arg(runs()));
        later->bind(1, number);
        later->step();
        result.laterRun = later->columnInt64(0);
        later->reset();
        if (result.laterRun) return result;
    }
    QStringList set, old;
    for (const char* c : kPriceColumns) {
        set << QLatin1String(c);
        old << QStringLiteral("old_%1").arg(QLatin1String(c));
    }
    // The article at that row, if it still holds exactly what the run wrote, gets what the run
    // replaced: values copied by the engine, exactly as they were (a text stays a text).
    const auto restore =
        cn.statement(QStringLiteral("UPDATE %1 SET (%2) = (SELECT %3 FROM %4 WHERE id = ?1) WHERE rowid = ?2 AND "
                                    "EXISTS (SELECT 1 FROM %4 h WHERE h.id = ?1 AND %1.CODARTI IS h.code AND %5)")
                         .arg(articles(), set.join(QLatin1String(", ")), old.join(QLatin1String(", ")), prices(),
                              holdsWhatItWrote(articles())));
    const auto changes = cn.statement(QStringLiteral("SELECT changes()"));
    // The same article under another row number (the file was compacted since): by its code.
    const auto byCode = cn.statement(
        QStringLiteral("SELECT a.rowid FROM %1 a JOIN %2 h ON h.id = ?1 WHERE a.CODARTI = h.code AND %3 LIMIT 2")
            .arg(articles(), prices(), holdsWhatItWrote(QStringLiteral("a"))));
    const auto present = cn.statement(QStringLiteral("SELECT count(*) FROM %1 WHERE CODARTI IS ?").arg(articles()));

    auto restoreAt = [&](long long key, long long rowid) {
        restore->bind(1, key);
        restore->bind(2, rowid);
        restore->step();
        restore->reset();
        changes->step();
        const bool done = changes->columnInt64(0) == 1;
        changes->reset();
        return done;
    };

    long long total = 0;
    {
        const auto count =
            cn.statement(QStringLiteral("SELECT count(*) FROM %1 WHERE id BETWEEN ? AND ?").arg(prices()));
        count->bind(1, firstKey(number));
        count->bind(2, lastKey(number));
        count->step();
        total = count->columnInt64(0);
        count->reset();
    }
    const auto each =
        cn.statement(QStringLiteral("SELECT id, code FROM %1 WHERE id BETWEEN ? AND ? ORDER BY id").arg(prices()));
    each->bind(1, firstKey(number));
    each->bind(2, lastKey(number));
    long long done = 0;
    while (each->step()) {
        if (stop()) {
            result.interrupted = true;
            break;
        }
        const long long key = each->columnInt64(0);
        const long long article = key - firstKey(number);
        const runtime::FieldValue codeValue = each->column(1);
        const QString code = runtime::textOf(codeValue);
        progress(++done, total);
        if (restoreAt(key, article)) {
            ++result.restored;
            continue;
        }
        byCode->bind(1, key);
        std::vector<long long> found;
        while (byCode->step())
            found.push_back(byCode->columnInt64(0));
        byCode->reset();
        if (found.size() == 1 && restoreAt(key, found.front())) {
            ++result.restored;
            continue;
        }
        present->bind(1, codeValue);
        present->step();
        const long long withCode = present->columnInt64(0);
        present->reset();
        result.leftAlone.push_back({code, withCode == 0 ? QStringLiteral("ya no está en la base de datos")
                                          : found.size() > 1
                                              ? QStringLiteral("hay varios artículos con ese código y esos precios")
                                              : QStringLiteral("sus precios cambiaron después de esa actualización")});
    }
    each->reset();
    if (!result.interrupted) {
        const auto mark = cn.statement(QStringLiteral("UPDATE %1 SET undone = ? WHERE run = ?").arg(runs()));
        mark->bind(1, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        mark->bind(2, number);
        mark->step();
        mark->reset();
    }
    return result;
}

} // namespace history
