#include "platform/ado/Connection.h"
#include "platform/ado/ConnectionString.h"
#include "platform/ado/Errors.h"
#include "platform/runtime/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <sqlite3.h>

namespace ado {

namespace {

// A periodic flush only takes a lock that is free now or soon: the run must not stall on it.
constexpr int kPeriodicBusyMs = 100;
// After a periodic flush failed, the next try waits this long.
constexpr qint64 kRetryMs = 1000;

// A waiting value bound as Statement::bind binds a field's value.
void bind(Statement& st, int index, const PendingWrites::Ref& v) {
    switch (v.kind) {
    case runtime::FieldValue::Kind::Number: st.bind(index, v.number); break;
    case runtime::FieldValue::Kind::Text: st.bind(index, *v.text); break;
    case runtime::FieldValue::Kind::Date: st.bind(index, runtime::FieldValue(runtime::Date{v.number})); break;
    default: st.bindNull(index); break;
    }
}

bool isDateType(const QString& declType) {
    const QString t = declType.toUpper();
    return t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME"));
}

bool hasSqliteHeader(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

} // namespace

int RowLayout::find(const QString& name) const {
    // The same names are asked for row after row: they are found at once.
    for (const auto& [asked, column] : lookups_)
        if (asked == name) return column;
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0) {
            if (lookups_.size() < 64) lookups_.emplace_back(name, i);
            return i;
        }
    return -1;
}

QString pathOfDataSource(const QString& dataSource) {
    QString path = dataSource;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(path);
}

Connection::Connection() {
    retryTimer_.setSingleShot(true);
    QObject::connect(&retryTimer_, &QTimer::timeout, [this] { checkpoint(); });
    readTimer_.setSingleShot(true);
    QObject::connect(&readTimer_, &QTimer::timeout, [this] { endReading(); });
}

Connection::~Connection() {
    try {
        Close();
    } catch (...) {
        // The operator was asked before the program ended (see ui::MsgBox); what still cannot be
        // written is given up here, and the engine leaves the file as it was.
        runtime::removeOperatorWait(wait_);
        statements_.clear();
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

void Connection::Open(const QString& connectionString, const QString&, const QString&, long) {
    if (db_) raiseObjectOpen();
    const ConnectionStringParts parts = parseConnectionString(connectionString);
    if (!parts.provider.startsWith(QLatin1String("Microsoft.Jet.OLEDB."), Qt::CaseInsensitive) &&
        !parts.provider.startsWith(QLatin1String("Microsoft.ACE.OLEDB."), Qt::CaseInsensitive))
        runtime::raise(
            err::ProviderNotFound,
            QStringLiteral("No se puede encontrar el proveedor. Es posible que no esté instalado correctamente."));

    const QString path = pathOfDataSource(parts.dataSource);
    const QFileInfo info(path);
    if (parts.dataSource.isEmpty() || !info.exists() || info.isDir())
        runtime::raise(err::FileNotFound,
                       QStringLiteral("No se pudo encontrar el archivo '%1'.").arg(displayName(path)));
    if (!info.isReadable())
        runtime::raise(err::AccessDenied,
                       QStringLiteral("No se pudo usar '%1'; no tiene permiso para abrirlo.").arg(displayName(path)));
    // A file that is not an SQLite database (a Jet file, say) is never handed to the engine,
    // which would treat an empty file as a new database.
    if (!hasSqliteHeader(path)) raiseUnrecognizedFormat(path);

    // A file without write permission for anybody is read-only for everybody, as the read-only
    // attribute is on the original platform, whoever runs the program.
    // (WriteUser is the current user's access, which root always has: only the mode bits count.)
    const auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    const bool readOnly = !(info.permissions() & anyWrite);
    const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    // The engine keeps no memory statistics for this program: that saves a lock on every allocation.
    // (It can only be said before the engine starts; afterwards the call is refused, harmlessly.)
    static const bool quiet = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    Q_UNUSED(quiet);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
        sqlite3_close(db);
        runtime::raise(err::DiskError, QStringLiteral("No se pudo usar '%1'; %2.").arg(displayName(path), reason));
    }
    db_ = db;
    path_ = path;
    readOnly_ = readOnly;
    sqlite3_busy_timeout(db_, kBusyMs);
    sqlite3_exec(db_, "PRAGMA cache_size=-16384", nullptr, nullptr, nullptr); // 16 MB of page cache
    // (On 1,000,000 articles the run took the same time with 8, 16 or 32 MB: the pages it reads at
    // random are too many for any of them, and the system keeps them in its own cache anyway.)
    // A file that fits in kMapBytes is read through a memory mapping: a page costs no system call,
    // which on a catalogue of 100,000 articles halves the run. A bigger file is read as before,
    // since every page touched through the mapping would stay in the program's memory. (The
    // engine lets go of the mapping whenever another program may have changed the file.)
    if (info.size() <= kMapBytes) {
        const QByteArray map = "PRAGMA mmap_size=" + QByteArray::number(kMapBytes);
        sqlite3_exec(db_, map.constData(), nullptr, nullptr, nullptr);
    }
    wait_ = runtime::onOperatorWait([this] {
        endReading(); // no lock of the file is held while the operator reads a box
        flush(kBusyMs);
    });
}

void Connection::Close() {
    if (!db_) return;
    endReading();
    flush(kBusyMs);
    runtime::removeOperatorWait(wait_);
    wait_ = 0;
    statements_.clear();
    shapes_.clear();
    layouts_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::shared_ptr<Statement> Connection::statement(const QString& sql) {
    if (!db_) raiseObjectClosed();
    return statements_.get(db_, sql, path_);
}

const QueryShape& Connection::shape(const QString& sql) {
    if (const auto it = shapes_.constFind(sql); it != shapes_.constEnd()) return it.value();
    QueryShape s = QueryShape::of(sql);
    if (s.keyset) {
        const auto type = statement(QStringLiteral("SELECT type FROM sqlite_schema WHERE name=? COLLATE NOCASE"));
        type->bind(1, s.table);
        s.view = type->step() && type->column(0) == runtime::FieldValue(QStringLiteral("view"));
        type->reset();
    }
    return shapes_.insert(sql, s).value();
}

std::shared_ptr<const RowLayout> Connection::rowLayout(const QueryShape& shape) {
    // By the table's name as the query spells it: another spelling only makes another layout.
    const QString& key = shape.table;
    if (const auto it = layouts_.constFind(key); it != layouts_.constEnd()) {
        const RowLayout& known = *it.value();
        if (known.row->reprepareCount() == known.reprepares) return it.value();
    }
    auto layout = std::make_shared<RowLayout>();
    layout->table = shape.table;
    layout->tableId = pending_.table(shape.table);
    layout->row = statement(shape.rowSql);
    layout->reprepares = layout->row->reprepareCount();
    const int n = layout->row->columnCount();
    for (int i = 0; i < n; ++i) {
        layout->columns << layout->row->columnName(i);
        layout->isDate.push_back(isDateType(layout->row->columnDeclType(i)));
        layout->columnIds.push_back(pending_.column(layout->tableId, layout->columns.back()));
    }
    const int ids =
        layout->columnIds.empty() ? 0 : *std::max_element(layout->columnIds.begin(), layout->columnIds.end()) + 1;
    layout->columnOfId.assign(static_cast<std::size_t>(ids), -1);
    for (int i = 0; i < n; ++i)
        layout->columnOfId[static_cast<std::size_t>(layout->columnIds[static_cast<std::size_t>(i)])] = i;
    layouts_.insert(key, layout);
    return layout;
}

void Connection::exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) raiseSqlite(db_, rc, path_);
}

void Connection::raiseIfDamaged() {
    // The whole check (the indexes against their tables too) takes a while on a big file: once
    // per connection is enough, as rows deleted by other programs are the usual reason.
    if (checkedIntact_) return;
    checkedIntact_ = true;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, "PRAGMA integrity_check(1)", -1, &st, nullptr) != SQLITE_OK) return;
    const int rc = sqlite3_step(st);
    const QString verdict = rc == SQLITE_ROW
                                ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
                                : QString::fromUtf8(sqlite3_errmsg(db_));
    sqlite3_finalize(st);
    if ((rc == SQLITE_ROW && verdict != QLatin1String("ok")) || (rc & 0xff) == SQLITE_CORRUPT) {
        // Nothing more is written into a damaged file: what waits is given up, and the file is
        // left as it was found, for a repair or a backup.
        damaged_ = QStringLiteral("La base de datos '%1' está dañada (%2).").arg(displayName(path_), verdict);
        pending_.clear();
        runtime::raise(err::UnrecognizedFormat, damaged_);
    }
}

void Connection::wrote() {
    if (!damaged_.isEmpty()) {
        pending_.clear();
        runtime::raise(err::UnrecognizedFormat, damaged_);
    }
    if (oldestWrite_.isValid()) return;
    oldestWrite_.start();
    // While the program is idle (after the operator chose to go on without saving, say), the
    // rows are retried on time too.
    retryTimer_.start(static_cast<int>(flushMs_));
}

void Connection::reading() {
    if (readingSince_.isValid() || !db_) return;
    // A read transaction takes the shared lock at its first read and keeps it: statement after
    // statement, the file is not locked and unlocked again (two system calls and a look for a
    // journal each time). It is let go every kReadHoldMs, so that another program's commit waits
    // at most that long.
    if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK) {
        readingSince_.start();
        ++readSerial_;
        readTimer_.start(kReadHoldMs); // and when the program is idle, on time all the same
    }
}

void Connection::endReading() {
    if (!readingSince_.isValid()) return;
    readingSince_.invalidate();
    readTimer_.stop();
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

void Connection::checkpoint() {
    if (readingSince_.isValid() && readingSince_.elapsed() >= kReadHoldMs) endReading();
    if (!db_ || pending_.empty() || !oldestWrite_.isValid()) return;
    const qint64 age = oldestWrite_.elapsed();
    const bool inCycle = cycleDone_ < cycle_.size();
    // Slices of a cycle leave the program at least as long to itself as they take, however
    // often it passes a flush point: its window answers between them.
    if (inCycle && lastSlice_.isValid() && lastSlice_.elapsed() < sliceMs_) return;
    const bool due = age >= nextTryMs_ || (!backingOff_ && (inCycle || pending_.rows() >= kFlushRows));
    if (!due) return;
    try {
        flushSlice(kPeriodicBusyMs);
        backingOff_ = false;
    } catch (const runtime::Failure&) {
        // Another program holds the file: the rows keep waiting, and the next flush point tries
        // again, not before kRetryMs. The step that got here did its own work and does not fail.
        nextTryMs_ = age + kRetryMs;
        backingOff_ = true;
        retryTimer_.start(static_cast<int>(kRetryMs));
    }
}

void Connection::flush(int busyMs) {
    if (!db_ || pending_.empty()) return;
    cycle_.clear();
    cycleDone_ = 0;
    const std::vector<PendingWrites::Row> rows = pending_.inFileOrder();
    const Written w = writeRows(rows, 0, busyMs, -1);
    pending_.clear();
    wroteRows(w);
}

void Connection::flushSlice(int busyMs) {
    if (cycleDone_ >= cycle_.size()) {
        cycle_ = pending_.inFileOrder();
        cycleDone_ = 0;
    }
    const Written w = writeRows(cycle_, cycleDone_, busyMs, sliceMs_);
    lastSlice_.start();
    for (std::size_t i = cycleDone_; i < w.end; ++i)
        pending_.erase(cycle_[i].table, cycle_[i].rowid);
    cycleDone_ = w.end;
    if (cycleDone_ >= cycle_.size()) {
        // The rows written while the cycle ran are few: what the others held is let go.
        cycle_ = {};
        cycleDone_ = 0;
        pending_.compact();
    }
    wroteRows(w);
}

Connection::Written Connection::writeRows(const std::vector<PendingWrites::Row>& rows, std::size_t from, int busyMs,
                                          int budgetMs) {
    Written w{from, 0, 0};
    sqlite3_busy_timeout(db_, busyMs);
    const auto restore = qScopeGuard([this] { sqlite3_busy_timeout(db_, kBusyMs); });
    QElapsedTimer spent;
    spent.start();
    try {
        if (readOnly_) raiseSqlite(db_, SQLITE_READONLY, path_);
        endReading();
        exec("BEGIN IMMEDIATE");
        try {
            std::shared_ptr<Statement> st;
            int lastTable = -1, lastShape = -1;
            for (; w.end < rows.size(); ++w.end) {
                if (budgetMs >= 0 && w.end > from && spent.elapsed() >= budgetMs) break;
                // The row as it waits now: the program may have written it again since the cycle began.
                const PendingWrites::Row* row = &rows[w.end];
                PendingWrites::Row now;
                if (budgetMs >= 0) {
                    if (!pending_.current(row->table, row->rowid, now)) continue;
                    row = &now;
                }
                const auto& columns = pending_.shape(row->table, row->shape);
                if (row->table != lastTable || row->shape != lastShape) {
                    // Optimistic locking: the row is written only if the file still holds what
                    // was read from it, so nothing another program changed or put in its place
                    // is overwritten.
                    QString set, unchanged;
                    for (std::size_t i = 0; i < columns.size(); ++i) {
                        const QString name = quoted(pending_.columnName(row->table, columns[i]));
                        set += (i ? QStringLiteral(",") : QString()) + name + QStringLiteral("=?");
                        unchanged += QStringLiteral(" AND ") + name + QStringLiteral(" IS ?");
                    }
                    st = statement(QStringLiteral("UPDATE ") + quoted(pending_.tableName(row->table)) +
                                   QStringLiteral(" SET ") + set + QStringLiteral(" WHERE rowid=?") + unchanged);
                    lastTable = row->table;
                    lastShape = row->shape;
                }
                int i = 1;
                for (std::size_t k = 0; k < columns.size(); ++k)
                    bind(*st, i++, pending_.valueRef(row->first + static_cast<uint32_t>(k)));
                st->bind(i++, row->rowid);
                for (std::size_t k = 0; k < columns.size(); ++k)
                    bind(*st, i++, pending_.originalRef(row->first + static_cast<uint32_t>(k)));
                st->step();
                st->reset();
                ++w.rows;
                if (sqlite3_changes(db_) == 0) ++w.changedElsewhere;
            }
            exec("COMMIT");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    } catch (const runtime::Failure& f) {
        runtime::raise(f.Number(),
                       QStringLiteral("No se pudieron guardar en la base de datos los cambios de %1 registros. %2")
                           .arg(pending_.rows())
                           .arg(f.Description()));
    }
    return w;
}

void Connection::wroteRows(const Written& w) {
    if (pending_.empty()) {
        oldestWrite_.invalidate();
        nextTryMs_ = flushMs_;
        retryTimer_.stop();
    } else if (cycleDone_ < cycle_.size()) {
        // The rest of the cycle is written at the next flush points, or on time if the program is idle.
        retryTimer_.start(sliceMs_);
    } else {
        // Rows written while the cycle ran wait their own time.
        oldestWrite_.start();
        nextTryMs_ = flushMs_;
        retryTimer_.start(static_cast<int>(flushMs_));
    }
    if (w.changedElsewhere)
        runtime::tellOperator(
            QStringLiteral("Se guardaron en la base de datos los cambios de %1 registros, pero no los "
                           "de otros %2: otro programa los modificó o los borró después de que este "
                           "programa los leyera.")
                .arg(w.rows - w.changedElsewhere)
                .arg(w.changedElsewhere));
}

} // namespace ado
