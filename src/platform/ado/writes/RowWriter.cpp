#include "platform/ado/writes/RowWriter.h"
#include "platform/ado/Errors.h"
#include "platform/ado/QueryShape.h"
#include "platform/ado/RowFingerprint.h"
#include "platform/ado/Statement.h"
#include "platform/ado/writes/WriteReport.h"
#include "platform/ado/writes/WriteTarget.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QStringList>
#include <cstring>
#include <sqlite3.h>

namespace ado {

namespace {

// A pending value bound as exactly what it is: the comparisons of the optimistic locking see
// the bytes the file held.
void bind(sqlite3_stmt* st, int index, const PendingWrites::Ref& v) {
    switch (v.kind) {
    case PendingWrites::Value::Integer: sqlite3_bind_int64(st, index, static_cast<sqlite3_int64>(v.bits)); break;
    case PendingWrites::Value::Real: {
        double d;
        std::memcpy(&d, &v.bits, sizeof d);
        sqlite3_bind_double(st, index, d);
        break;
    }
    case PendingWrites::Value::Date: {
        double d;
        std::memcpy(&d, &v.bits, sizeof d);
        const QByteArray iso = runtime::isoDateText(runtime::Date{d}).toUtf8(); // dates are kept as ISO texts
        sqlite3_bind_text(st, index, iso.constData(), static_cast<int>(iso.size()), SQLITE_TRANSIENT);
        break;
    }
    case PendingWrites::Value::Text:
        sqlite3_bind_text(st, index, v.bytes->constData(), static_cast<int>(v.bytes->size()), SQLITE_STATIC);
        break;
    case PendingWrites::Value::Blob:
        sqlite3_bind_blob(st, index, v.bytes->constData(), static_cast<int>(v.bytes->size()), SQLITE_STATIC);
        break;
    default: sqlite3_bind_null(st, index); break;
    }
}

// The engine refuses the row itself, whatever other programs do: it would refuse it again.
bool refusedByTheFile(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_CONSTRAINT || primary == SQLITE_MISMATCH || primary == SQLITE_TOOBIG;
}

} // namespace

void RowWriter::clear() {
    updates_.clear();
    landed_.clear();
}

Statement& RowWriter::updateFor(const PendingWrites::Row& row) {
    auto& st = updates_[{row.table, row.columnSet}];
    if (!st) {
        // UPDATE t SET a=?,b=? WHERE rowid=? [AND c IS ?] [AND fingerprint(a,b,d)=?]
        const PendingWrites::ColumnSet& columns = pending_.columnSet(row.table, row.columnSet);
        auto name = [&](int column) { return quoted(pending_.columnName(row.table, column)); };
        QString set, where = QStringLiteral(" WHERE rowid=?");
        for (std::size_t i = 0; i < columns.set.size(); ++i)
            set += (i ? QStringLiteral(",") : QString()) + name(columns.set[i]) + QStringLiteral("=?");
        for (int column : columns.compared)
            where += QStringLiteral(" AND ") + name(column) + QStringLiteral(" IS ?");
        if (!columns.fingerprinted.empty()) {
            QStringList names;
            for (int column : columns.fingerprinted)
                names << name(column);
            where += QStringLiteral(" AND %1(%2)=?").arg(QLatin1String(RowFingerprint::kFunction), names.join(u','));
        }
        st = target_.statement(QStringLiteral("UPDATE ") + quoted(pending_.tableName(row.table)) +
                               QStringLiteral(" SET ") + set + where);
    }
    return *st;
}

int RowWriter::bindSet(sqlite3_stmt* st, const PendingWrites::Row& row) {
    const PendingWrites::ColumnSet& columns = pending_.columnSet(row.table, row.columnSet);
    int i = 1;
    for (uint32_t k = 0; k < static_cast<uint32_t>(columns.set.size()); ++k)
        bind(st, i++, pending_.ref(row.first + k));
    return i;
}

QString RowWriter::landedQuery(const PendingWrites::Row& row) {
    // SELECT 1 FROM t WHERE a IS ? AND b IS ? AND rowid=?
    const PendingWrites::ColumnSet& columns = pending_.columnSet(row.table, row.columnSet);
    QString where;
    for (int column : columns.set)
        where += quoted(pending_.columnName(row.table, column)) + QStringLiteral(" IS ? AND ");
    return QStringLiteral("SELECT 1 FROM ") + quoted(pending_.tableName(row.table)) + QStringLiteral(" WHERE ") +
           where + QStringLiteral("rowid=?");
}

bool RowWriter::holdsPendingValues(const PendingWrites::Row& row) {
    auto& st = landed_[{row.table, row.columnSet}];
    if (!st) st = target_.statement(landedQuery(row));
    sqlite3_stmt* h = st->handle();
    sqlite3_bind_int64(h, bindSet(h, row), row.rowid);
    const int rc = sqlite3_step(h);
    sqlite3_reset(h);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) raiseSqlite(target_.handle(), rc, target_.path());
    return rc == SQLITE_ROW;
}

bool RowWriter::settleAfterFailedCommit(const Rows& rows, std::size_t from, std::size_t end, bool lookUp) {
    // Looked up as the next program to open the file would see it: through a connection of its
    // own, read-only, which reads nothing while a journal waits to be played back (the commit
    // did not reach the file then), and never waits for a lock.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(target_.path()).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    std::map<std::pair<int, int>, sqlite3_stmt*> statements;
    std::size_t landed = 0;
    bool all = true;
    for (std::size_t k = from; k < end; ++k) {
        PendingWrites::Row row = rows[k];
        if (lookUp && !pending_.current(row.table, row.rowid, row)) continue;
        sqlite3_stmt*& st = statements[{row.table, row.columnSet}];
        if (!st && sqlite3_prepare_v2(db, landedQuery(row).toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
            all = false;
            break;
        }
        sqlite3_bind_int64(st, bindSet(st, row), row.rowid);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        all = all && rc == SQLITE_ROW;
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) break; // unreadable now: the next flush finds what landed
        if (rc != SQLITE_ROW) continue;
        pending_.erase(row.table, row.rowid);
        ++landed;
    }
    for (const auto& [set, st] : statements)
        sqlite3_finalize(st);
    sqlite3_close(db);
    report_.written(landed);
    return all;
}

std::size_t RowWriter::write(const Rows& rows, std::size_t from, int busyMs, int budgetMs) {
    sqlite3* db = target_.handle();
    sqlite3_busy_timeout(db, busyMs);
    const auto restore = qScopeGuard([db] { sqlite3_busy_timeout(db, WriteTarget::kBusyMs); });
    QElapsedTimer spent;
    spent.start();
    try {
        if (target_.readOnly()) raiseSqlite(db, SQLITE_READONLY, target_.path());
        // A whole flush takes the rows as they are pending now; a slice of a cycle looks each one
        // up, since the program may have written it again since the cycle began.
        bool lookUp = budgetMs >= 0;
        for (;;) { // again from the start when a trigger rolled the whole transaction back
            std::size_t end = from, written = 0, leftOut = 0, updated = 0;
            bool rolledBack = false, committing = false;
            target_.beginWriting();
            try {
                for (; end < rows.size(); ++end) {
                    if (budgetMs >= 0 && end > from && spent.elapsed() >= budgetMs) break;
                    PendingWrites::Row row = rows[end];
                    if (lookUp && !pending_.current(row.table, row.rowid, row)) continue; // set aside, say
                    const PendingWrites::ColumnSet& columns = pending_.columnSet(row.table, row.columnSet);
                    sqlite3_stmt* st = updateFor(row).handle();
                    const auto nSet = static_cast<uint32_t>(columns.set.size());
                    int i = bindSet(st, row);
                    sqlite3_bind_int64(st, i++, row.rowid);
                    for (uint32_t k = 0; k < columns.compared.size(); ++k)
                        bind(st, i++, pending_.ref(row.first + nSet + k));
                    if (!columns.fingerprinted.empty())
                        sqlite3_bind_int64(st, i++, static_cast<sqlite3_int64>(row.fingerprint));
                    const int rc = sqlite3_step(st);
                    const int changed = sqlite3_changes(db); // before the statements the end of this one runs
                    if (rc == SQLITE_DONE) {
                        sqlite3_reset(st);
                        target_.statementEnded(true);
                        ++written;
                        // Not the row that was read any more, unless it already holds what this
                        // program writes (its own commit that reported a failure, say).
                        if (changed != 0)
                            ++updated;
                        else if (!holdsPendingValues(row))
                            ++leftOut;
                        continue;
                    }
                    const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
                    sqlite3_reset(st);
                    if (!refusedByTheFile(rc)) raiseSqlite(db, rc, target_.path());
                    target_.statementEnded(false);
                    // A rule that refuses with FAIL keeps what the statement wrote before it: a
                    // row that holds its new values now is written, not refused.
                    if (!sqlite3_get_autocommit(db) && changed != 0 && holdsPendingValues(row)) {
                        ++written;
                        ++updated;
                        continue;
                    }
                    setAside(row, reason);
                    lookUp = true;                    // it is no longer pending: passed over from now on
                    if (sqlite3_get_autocommit(db)) { // RAISE(ROLLBACK): the rows before it went too
                        rolledBack = true;
                        break;
                    }
                }
                if (rolledBack) continue;
                committing = true;
                target_.commit(updated);
            } catch (...) {
                const bool stillOpen = !sqlite3_get_autocommit(db);
                if (stillOpen) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
                // A COMMIT that ended the transaction may have failed after its commit point (a
                // failed sync of the emptied journal): what reached the file is written, whatever
                // the engine said, and when all of it did, the flush did not fail.
                if (committing && !stillOpen && settleAfterFailedCommit(rows, from, end, lookUp)) return end;
                throw;
            }
            for (std::size_t k = from; k < end; ++k)
                pending_.erase(rows[k].table, rows[k].rowid);
            report_.written(written - leftOut);
            report_.leftOut(leftOut);
            return end;
        }
    } catch (const runtime::Failure& f) {
        WriteReport::raiseNotSaved(f, pending_.rows());
    }
}

void RowWriter::setAside(const PendingWrites::Row& row, const QString& reason) {
    report_.refused(row.table, row.rowid, rowName(row.table, row.rowid), reason);
    pending_.erase(row.table, row.rowid);
}

QString RowWriter::rowName(int table, long long rowid) {
    // The refused statement changed nothing: the row is still the one that was read.
    const QStringList& columns = pending_.labelColumns(table);
    if (columns.isEmpty()) return QStringLiteral("la fila %1 de %2").arg(rowid).arg(pending_.tableName(table));
    QStringList quotedColumns;
    for (const QString& column : columns)
        quotedColumns << quoted(column);
    QStringList parts;
    try {
        const auto st =
            target_.statement(QStringLiteral("SELECT ") + quotedColumns.join(u',') + QStringLiteral(" FROM ") +
                              quoted(pending_.tableName(table)) + QStringLiteral(" WHERE rowid=?"));
        st->bind(1, rowid);
        if (st->step())
            for (int i = 0; i < columns.size(); ++i)
                parts << QStringLiteral("%1 '%2'").arg(columns[i], runtime::textOf(st->column(i)));
        st->reset();
    } catch (const runtime::Failure&) {
        // Named by its number below.
    }
    return parts.isEmpty() ? QStringLiteral("la fila %1 de %2").arg(rowid).arg(pending_.tableName(table))
                           : parts.join(QStringLiteral(", "));
}

} // namespace ado
