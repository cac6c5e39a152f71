#include "platform/ado/WriteBehind.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Errors.h"
#include "platform/ado/QueryShape.h"
#include "platform/ado/RowFingerprint.h"
#include "platform/ado/Statement.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"
#include "platform/runtime/OperatorWait.h"

#include <QFile>
#include <QScopeGuard>
#include <algorithm>
#include <sqlite3.h>

namespace ado {

namespace {

// A waiting value bound as exactly what it is: the comparisons of the optimistic locking see
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

QString advice(long number, bool programEnds) {
    QString s = QStringLiteral("\r\n\r\n");
    if (number == err::Generic)
        s += QStringLiteral("Cierre la base de datos en los demás programas y pulse 'Reintentar'.\r\n");
    else if (number == err::DiskFull)
        s += QStringLiteral("Libere espacio en el disco y pulse 'Reintentar'.\r\n");
    else
        s += QStringLiteral("Pulse 'Reintentar' cuando se haya resuelto.\r\n");
    return s + (programEnds ? QStringLiteral("Si pulsa 'Cancelar', el programa termina y esos cambios se pierden.")
                            : QStringLiteral("Con 'Cancelar', los cambios esperan en este programa, sin bloquear la "
                                             "base de datos, y se vuelven a guardar más adelante."));
}

} // namespace

WriteBehind::WriteBehind(Connection& connection) : c_(connection) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer); // a coarse timer fires early, before the rows are due
    QObject::connect(&timer_, &QTimer::timeout, [this] { checkpoint(); });
}

void WriteBehind::arm(qint64 ms) { timer_.start(static_cast<int>(std::clamp<qint64>(ms, 0, INT_MAX))); }

void WriteBehind::wrote() {
    if (oldestWrite_.isValid()) return;
    oldestWrite_.start();
    dueMs_ = flushMs_;
    arm(flushMs_);
}

void WriteBehind::checkpoint() {
    if (!c_.db_ || pending_.empty() || !oldestWrite_.isValid()) return;
    const qint64 age = oldestWrite_.elapsed();
    const bool inCycle = cycleDone_ < cycle_.size();
    // Slices of a cycle leave the program at least as long to itself as they take, however often
    // it passes a flush point: its window answers between them.
    if (inCycle && lastSlice_.isValid() && lastSlice_.elapsed() < sliceMs_) {
        if (!timer_.isActive()) arm(sliceMs_ - lastSlice_.elapsed());
        return;
    }
    const bool due = age >= dueMs_ || (!backingOff_ && (inCycle || pending_.rows() >= flushRows_));
    if (!due) {
        // Not yet (a timer may fire a little early, or this is a move): the timer is there for
        // when they are due, also if the program goes idle now.
        if (!timer_.isActive()) arm(dueMs_ - age);
        return;
    }
    try {
        flushSlice(kPeriodicBusyMs);
        backingOff_ = false;
    } catch (const runtime::Failure&) {
        // Another program holds the file: the rows keep waiting, and are tried again on time.
        // The step that got here did its own work and does not fail.
        backOff();
    }
}

void WriteBehind::backOff() {
    dueMs_ = (oldestWrite_.isValid() ? oldestWrite_.elapsed() : 0) + kRetryMs;
    if (!oldestWrite_.isValid()) oldestWrite_.start();
    backingOff_ = true;
    arm(kRetryMs);
}

void WriteBehind::flush(int busyMs) {
    if (!c_.db_ || pending_.empty()) return;
    cycle_.clear();
    cycleDone_ = 0;
    try {
        writeRows(pending_.inFileOrder(), 0, busyMs, -1);
    } catch (const runtime::Failure&) {
        backOff();
        throw;
    }
    backingOff_ = false;
    afterWrite();
}

void WriteBehind::flushSlice(int busyMs) {
    if (cycleDone_ >= cycle_.size()) {
        cycle_ = pending_.inFileOrder();
        cycleDone_ = 0;
    }
    cycleDone_ = writeRows(cycle_, cycleDone_, busyMs, sliceMs_);
    lastSlice_.start();
    if (cycleDone_ >= cycle_.size()) {
        // The rows written again while the cycle ran are few: what the others held is let go.
        cycle_ = {};
        cycleDone_ = 0;
        pending_.compact();
    }
    afterWrite();
}

void WriteBehind::afterWrite() {
    if (pending_.empty()) {
        oldestWrite_.invalidate();
        dueMs_ = flushMs_;
        timer_.stop();
    } else if (cycleDone_ < cycle_.size()) {
        // The rest of the cycle is written at the next flush points, or on time if the program is idle.
        arm(sliceMs_);
    } else {
        // Rows written while the cycle ran wait their own time.
        oldestWrite_.start();
        dueMs_ = flushMs_;
        arm(flushMs_);
    }
}

Statement& WriteBehind::statementFor(const PendingWrites::Row& row) {
    auto& st = updates_[{row.table, row.shape}];
    if (!st) {
        // UPDATE t SET a=?,b=? WHERE rowid=? [AND c IS ?] [AND fingerprint(a,b,d)=?]
        const PendingWrites::Shape& shape = pending_.shape(row.table, row.shape);
        auto name = [&](int column) { return quoted(pending_.columnName(row.table, column)); };
        QString set, where = QStringLiteral(" WHERE rowid=?");
        for (std::size_t i = 0; i < shape.set.size(); ++i)
            set += (i ? QStringLiteral(",") : QString()) + name(shape.set[i]) + QStringLiteral("=?");
        for (int column : shape.compared)
            where += QStringLiteral(" AND ") + name(column) + QStringLiteral(" IS ?");
        if (!shape.fingerprinted.empty()) {
            QStringList names;
            for (int column : shape.fingerprinted)
                names << name(column);
            where += QStringLiteral(" AND %1(%2)=?").arg(QLatin1String(RowFingerprint::kFunction), names.join(u','));
        }
        st = c_.statement(QStringLiteral("UPDATE ") + quoted(pending_.tableName(row.table)) + QStringLiteral(" SET ") +
                          set + where);
    }
    return *st;
}

int WriteBehind::bindSet(sqlite3_stmt* st, const PendingWrites::Row& row) {
    const PendingWrites::Shape& shape = pending_.shape(row.table, row.shape);
    int i = 1;
    for (uint32_t k = 0; k < static_cast<uint32_t>(shape.set.size()); ++k)
        bind(st, i++, pending_.ref(row.first + k));
    return i;
}

QString WriteBehind::landedQuery(const PendingWrites::Row& row) {
    // SELECT 1 FROM t WHERE a IS ? AND b IS ? AND rowid=?
    const PendingWrites::Shape& shape = pending_.shape(row.table, row.shape);
    QString where;
    for (int column : shape.set)
        where += quoted(pending_.columnName(row.table, column)) + QStringLiteral(" IS ? AND ");
    return QStringLiteral("SELECT 1 FROM ") + quoted(pending_.tableName(row.table)) + QStringLiteral(" WHERE ") +
           where + QStringLiteral("rowid=?");
}

bool WriteBehind::holdsWaitingValues(const PendingWrites::Row& row) {
    auto& st = landed_[{row.table, row.shape}];
    if (!st) st = c_.statement(landedQuery(row));
    sqlite3_stmt* h = st->handle();
    sqlite3_bind_int64(h, bindSet(h, row), row.rowid);
    const int rc = sqlite3_step(h);
    sqlite3_reset(h);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) raiseSqlite(c_.db_, rc, c_.path_);
    return rc == SQLITE_ROW;
}

bool WriteBehind::settleAfterFailedCommit(const Rows& rows, std::size_t from, std::size_t end, bool lookUp) {
    // Looked up as the next program to open the file would see it: through a connection of its
    // own, read-only, which reads nothing while a journal waits to be played back (the commit
    // did not reach the file then), and never waits for a lock.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(c_.path_).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    std::map<std::pair<int, int>, sqlite3_stmt*> statements;
    std::size_t landed = 0;
    bool all = true;
    for (std::size_t k = from; k < end; ++k) {
        PendingWrites::Row row = rows[k];
        if (lookUp && !pending_.current(row.table, row.rowid, row)) continue;
        sqlite3_stmt*& st = statements[{row.table, row.shape}];
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
    for (const auto& [shape, st] : statements)
        sqlite3_finalize(st);
    sqlite3_close(db);
    writtenUntold_ += landed;
    written_ += landed;
    return all;
}

std::size_t WriteBehind::writeRows(const Rows& rows, std::size_t from, int busyMs, int budgetMs) {
    sqlite3* db = c_.db_;
    sqlite3_busy_timeout(db, busyMs);
    const auto restore = qScopeGuard([db] { sqlite3_busy_timeout(db, Connection::kBusyMs); });
    QElapsedTimer spent;
    spent.start();
    try {
        if (c_.readOnly_) raiseSqlite(db, SQLITE_READONLY, c_.path_);
        // A whole flush takes the rows as they wait now; a slice of a cycle looks each one up,
        // since the program may have written it again since the cycle began.
        bool lookUp = budgetMs >= 0;
        for (;;) { // again from the start when a trigger rolled the whole transaction back
            std::size_t end = from, written = 0, changed = 0;
            bool rolledBack = false, committing = false;
            c_.endReading();
            c_.exec("BEGIN IMMEDIATE");
            try {
                for (; end < rows.size(); ++end) {
                    if (budgetMs >= 0 && end > from && spent.elapsed() >= budgetMs) break;
                    PendingWrites::Row row = rows[end];
                    if (lookUp && !pending_.current(row.table, row.rowid, row)) continue; // set aside, say
                    const PendingWrites::Shape& shape = pending_.shape(row.table, row.shape);
                    sqlite3_stmt* st = statementFor(row).handle();
                    const auto nSet = static_cast<uint32_t>(shape.set.size());
                    int i = bindSet(st, row);
                    sqlite3_bind_int64(st, i++, row.rowid);
                    for (uint32_t k = 0; k < shape.compared.size(); ++k)
                        bind(st, i++, pending_.ref(row.first + nSet + k));
                    if (!shape.fingerprinted.empty())
                        sqlite3_bind_int64(st, i++, static_cast<sqlite3_int64>(row.fingerprint));
                    const int rc = sqlite3_step(st);
                    if (rc == SQLITE_DONE) {
                        sqlite3_reset(st);
                        ++written;
                        // Not the row that was read any more, unless it already holds what this
                        // program writes (its own commit that reported a failure, say).
                        if (sqlite3_changes(db) == 0 && !holdsWaitingValues(row)) ++changed;
                        continue;
                    }
                    const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
                    sqlite3_reset(st);
                    if (!refusedByTheFile(rc)) raiseSqlite(db, rc, c_.path_);
                    setAside(row, reason);
                    lookUp = true;                    // it no longer waits: passed over from now on
                    if (sqlite3_get_autocommit(db)) { // RAISE(ROLLBACK): the rows before it went too
                        rolledBack = true;
                        break;
                    }
                }
                if (rolledBack) continue;
                committing = true;
                c_.exec("COMMIT");
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
            writtenUntold_ += written - changed;
            changedUntold_ += changed;
            written_ += written - changed;
            return end;
        }
    } catch (const runtime::Failure& f) {
        runtime::raise(f.Number(),
                       QStringLiteral("No se pudieron guardar en la base de datos los cambios de %1 registros. %2")
                           .arg(pending_.rows())
                           .arg(f.Description()));
    }
}

void WriteBehind::leaveOut(int table, long long rowid) {
    pending_.erase(table, rowid);
    ++changedUntold_;
}

void WriteBehind::setAside(const PendingWrites::Row& row, const QString& reason) {
    refusals_.push_back({row.table, row.rowid, rowName(row.table, row.rowid), reason});
    pending_.erase(row.table, row.rowid);
}

QString WriteBehind::rowName(int table, long long rowid) {
    // The refused statement changed nothing: the row is still the one that was read.
    const QStringList& columns = pending_.labelColumns(table);
    if (columns.isEmpty()) return QStringLiteral("la fila %1 de %2").arg(rowid).arg(pending_.tableName(table));
    QStringList quotedColumns;
    for (const QString& column : columns)
        quotedColumns << quoted(column);
    QStringList parts;
    try {
        const auto st = c_.statement(QStringLiteral("SELECT ") + quotedColumns.join(u',') + QStringLiteral(" FROM ") +
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

void WriteBehind::raiseIfRefused(int table, long long rowid) {
    for (Refusal& r : refusals_)
        if (!r.told && r.table == table && r.rowid == rowid) {
            r.told = true;
            runtime::raise(err::Integrity,
                           QStringLiteral("La base de datos rechazó el cambio de %1 (%2).").arg(r.row, r.reason));
        }
}

void WriteBehind::beforeWait(bool programEnds) {
    try {
        flush(Connection::kBusyMs);
    } catch (const runtime::Failure& f) {
        tell(); // what earlier flushes found is told all the same
        throw runtime::Failure(f.Number(), f.Description() + advice(f.Number(), programEnds));
    }
    tell();
}

void WriteBehind::tell() {
    if (changedUntold_)
        runtime::tellOperator(
            QStringLiteral("Se guardaron en la base de datos los cambios de %1 registros, pero no los "
                           "de otros %2: otro programa los modificó o los borró después de que este "
                           "programa los leyera.")
                .arg(writtenUntold_)
                .arg(changedUntold_));
    writtenUntold_ = changedUntold_ = 0;

    constexpr int kNamed = 20; // a box the operator can read: the rest are counted
    QStringList named;
    int untold = 0;
    for (Refusal& r : refusals_) {
        if (r.told) continue;
        r.told = true;
        if (++untold <= kNamed) named << r.row + QStringLiteral(": ") + r.reason;
    }
    if (!untold) return;
    QString text = untold == 1 ? QStringLiteral("La base de datos rechazó el cambio de un registro, que no se guardó:")
                               : QStringLiteral("La base de datos rechazó los cambios de %1 registros, que no se "
                                                "guardaron:")
                                     .arg(untold);
    text += QStringLiteral("\r\n") + named.join(QStringLiteral("\r\n"));
    if (untold > kNamed) text += QStringLiteral("\r\n… y otros %1.").arg(untold - kNamed);
    runtime::tellOperator(text);
}

void WriteBehind::discard() {
    pending_.clear();
    cycle_ = {};
    cycleDone_ = 0;
    oldestWrite_.invalidate();
    timer_.stop();
}

void WriteBehind::stop() {
    timer_.stop();
    updates_.clear();
    landed_.clear();
}

} // namespace ado
