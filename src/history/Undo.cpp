#include "history/Undo.h"
#include "history/PriceHistory.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Errors.h"
#include "platform/ado/Statement.h"
#include "platform/ado/writes/ChangeLog.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"
#include "schema/Schema.h"

#include <QDateTime>
#include <QStringList>

namespace history {

namespace {

QString runs() { return QLatin1String(kRunsTable); }
QString articles() { return schema::quoted(schema::articles().name); }

// A run's changes, one row an article, as the undo and the listing read them: a TEMP table of the
// connection, filled from the file's history by unpack().
constexpr auto kRunPrices = "temp.actualizapvp_run_prices";
QString runPrices() { return QLatin1String(kRunPrices); }

// "a.costesiniva IS h.new_costesiniva AND ...": the article holds exactly what the run wrote.
QString holdsWhatItWrote(const QString& article) {
    QStringList same;
    for (const char* c : kPriceColumns)
        same << QStringLiteral("%1.%2 IS h.new_%2").arg(article, QLatin1String(c));
    return same.join(QLatin1String(" AND "));
}

QString prefixed(const QString& prefix) {
    QStringList names;
    for (const char* c : kPriceColumns)
        names << prefix + QLatin1String(c);
    return names.join(QLatin1String(", "));
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

// The keys of a run's pieces (and of the earlier history's rows) are those from keyOf(run, 0)
// to keyOf(run + 1, 0) - 1.
long long firstKey(long long run) { return keyOf(run, 0); }
long long lastKey(long long run) { return keyOf(run + 1, 0) - 1; }

QString runQuery(ado::Connection& cn, const QString& where) {
    const QString range = QStringLiteral("id BETWEEN r.run << %1 AND ((r.run + 1) << %1) - 1").arg(kPieceBits);
    QStringList changed;
    if (hasTable(cn, kChangesTable))
        changed << QStringLiteral("(SELECT coalesce(sum(articles), 0) FROM %1 WHERE %2)")
                       .arg(QLatin1String(kChangesTable), range);
    if (hasTable(cn, kPricesTable))
        changed << QStringLiteral("(SELECT count(*) FROM %1 WHERE %2)").arg(QLatin1String(kPricesTable), range);
    if (changed.isEmpty()) changed << QStringLiteral("0");
    return QStringLiteral("SELECT run, moment, user, articles, undone, %1 FROM %2 r %3 ORDER BY run")
        .arg(changed.join(QLatin1String(" + ")), runs(), where);
}

// The run's changes in the TEMP table, an article a row: the values it first replaced and the
// last it wrote, where it wrote an article more than once.
void unpack(ado::Connection& cn, long long number) {
    auto exec = [&](const QString& sql) {
        const auto st = cn.statement(sql);
        while (st->step()) {
        }
        st->reset();
    };
    exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (article INTEGER PRIMARY KEY, code, %2, %3)")
             .arg(runPrices(), prefixed(QStringLiteral("old_")), prefixed(QStringLiteral("new_"))));
    exec(QStringLiteral("DELETE FROM %1").arg(runPrices()));
    if (hasTable(cn, kPricesTable)) {
        const auto earlier = cn.statement(QStringLiteral("INSERT INTO %1 SELECT id - ?1, code, %2, %3 FROM main.%4 "
                                                         "WHERE id BETWEEN ?1 AND ?2")
                                              .arg(runPrices(), prefixed(QStringLiteral("old_")),
                                                   prefixed(QStringLiteral("new_")), QLatin1String(kPricesTable)));
        earlier->bind(1, firstKey(number));
        earlier->bind(2, lastKey(number));
        earlier->step();
        earlier->reset();
    }
    if (!hasTable(cn, kChangesTable)) return;
    QStringList placeholders, update;
    for (int i = 0; i < 12; ++i)
        placeholders << QStringLiteral("?");
    for (const char* c : kPriceColumns)
        update << QStringLiteral("new_%1 = excluded.new_%1").arg(QLatin1String(c));
    const auto add = cn.statement(QStringLiteral("INSERT INTO %1 VALUES (%2) ON CONFLICT (article) DO UPDATE SET %3")
                                      .arg(runPrices(), placeholders.join(u','), update.join(QLatin1String(", "))));
    const auto pieces =
        cn.statement(QStringLiteral("SELECT changes, articles FROM main.%1 WHERE id BETWEEN ? AND ? ORDER BY id")
                         .arg(kChangesTable));
    pieces->bind(1, firstKey(number));
    pieces->bind(2, lastKey(number));
    constexpr std::size_t kPrices = std::size(kPriceColumns);
    while (pieces->step()) {
        // A record: the prices before, the code, the prices after; kept as code, before, after.
        const int rows =
            ado::ChangeLog::forEachRow(pieces->columnBlob(0), 1, static_cast<int>(kPrices),
                                       [&](long long rowid, const std::vector<ado::ChangeLog::Value>& values) {
                                           add->bind(1, rowid);
                                           ado::ChangeLog::bind(*add, 2, values[kPrices]);
                                           for (std::size_t i = 0; i < kPrices; ++i) {
                                               const int at = 3 + static_cast<int>(i);
                                               ado::ChangeLog::bind(*add, at, values[i]);
                                               ado::ChangeLog::bind(*add, at + kPrices, values[kPrices + 1 + i]);
                                           }
                                           add->step();
                                           add->reset();
                                       });
        if (rows != pieces->columnInt64(1))
            throw runtime::Failure(ado::err::UnrecognizedFormat,
                                   QStringLiteral("La historia de precios de la actualización %1 está dañada: una "
                                                  "parte guarda %2 artículos de %3.")
                                       .arg(number)
                                       .arg(rows)
                                       .arg(pieces->columnInt64(1)));
    }
    pieces->reset();
}

} // namespace

bool hasHistory(ado::Connection& cn) {
    return hasTable(cn, kRunsTable) && (hasTable(cn, kChangesTable) || hasTable(cn, kPricesTable));
}

std::vector<RunInfo> runs(ado::Connection& cn) {
    std::vector<RunInfo> all;
    const auto st = cn.statement(runQuery(cn, {}));
    while (st->step())
        all.push_back(runFrom(*st));
    st->reset();
    return all;
}

std::optional<RunInfo> run(ado::Connection& cn, long long number) {
    const auto st = cn.statement(runQuery(cn, QStringLiteral("WHERE run = ?")));
    st->bind(1, number);
    std::optional<RunInfo> found;
    if (st->step()) found = runFrom(*st);
    st->reset();
    return found;
}

void forEachChange(ado::Connection& cn, long long number, const std::function<void(const Change&)>& f) {
    unpack(cn, number);
    const auto st = cn.statement(
        QStringLiteral("SELECT h.code, (SELECT a.NOMARTI FROM %1 a WHERE a.rowid = h.article "
                       "AND a.CODARTI IS h.code), %2, %3 FROM %4 h ORDER BY h.article")
            .arg(articles(), prefixed(QStringLiteral("h.old_")), prefixed(QStringLiteral("h.new_")), runPrices()));
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
    unpack(cn, number);
    // The article at that row, if it still holds exactly what the run wrote, gets what the run
    // replaced: values copied by the engine, exactly as they were (a text stays a text).
    const auto restore =
        cn.statement(QStringLiteral("UPDATE %1 SET (%2) = (SELECT %3 FROM %4 WHERE article = ?1) WHERE rowid = ?2 AND "
                                    "EXISTS (SELECT 1 FROM %4 h WHERE h.article = ?1 AND %1.CODARTI IS h.code AND %5)")
                         .arg(articles(), prefixed({}), prefixed(QStringLiteral("old_")), runPrices(),
                              holdsWhatItWrote(articles())));
    const auto changes = cn.statement(QStringLiteral("SELECT changes()"));
    // The same article under another row number (the file was compacted since): by its code.
    const auto byCode = cn.statement(
        QStringLiteral("SELECT a.rowid FROM %1 a JOIN %2 h ON h.article = ?1 WHERE a.CODARTI = h.code AND %3 LIMIT 2")
            .arg(articles(), runPrices(), holdsWhatItWrote(QStringLiteral("a"))));
    const auto present = cn.statement(QStringLiteral("SELECT count(*) FROM %1 WHERE CODARTI IS ?").arg(articles()));

    auto restoreAt = [&](long long article, long long rowid) {
        restore->bind(1, article);
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
        const auto count = cn.statement(QStringLiteral("SELECT count(*) FROM %1").arg(runPrices()));
        count->step();
        total = count->columnInt64(0);
        count->reset();
    }
    const auto each = cn.statement(QStringLiteral("SELECT article, code FROM %1 ORDER BY article").arg(runPrices()));
    long long done = 0;
    while (each->step()) {
        if (stop()) {
            result.interrupted = true;
            break;
        }
        const long long article = each->columnInt64(0);
        const runtime::FieldValue codeValue = each->column(1);
        const QString code = runtime::textOf(codeValue);
        progress(++done, total);
        if (restoreAt(article, article)) {
            ++result.restored;
            continue;
        }
        byCode->bind(1, article);
        std::vector<long long> found;
        while (byCode->step())
            found.push_back(byCode->columnInt64(0));
        byCode->reset();
        if (found.size() == 1 && restoreAt(article, found.front())) {
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
