#include "platform/ado/writes/ChangeLog.h"
#include "platform/ado/Errors.h"
#include "platform/ado/Statement.h"
#include "platform/runtime/Failure.h"

#include <cstring>
#include <sqlite3.h>
#include <utility>

namespace ado {

namespace {

enum Tag : char { Null = 0, Integer = 1, Real = 2, Text = 3, Blob = 4 };

// Whether the engine would find `old IS new` true.
bool same(sqlite3_value* a, sqlite3_value* b) {
    const int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
    const bool na = ta == SQLITE_INTEGER || ta == SQLITE_FLOAT, nb = tb == SQLITE_INTEGER || tb == SQLITE_FLOAT;
    if (na && nb) {
        if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) return sqlite3_value_int64(a) == sqlite3_value_int64(b);
        return sqlite3_value_double(a) == sqlite3_value_double(b);
    }
    if (ta != tb) return false;
    if (ta == SQLITE_NULL) return true;
    const int n = sqlite3_value_bytes(a);
    return n == sqlite3_value_bytes(b) &&
           std::memcmp(ta == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(a)) : sqlite3_value_blob(a),
                       tb == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(b)) : sqlite3_value_blob(b),
                       static_cast<std::size_t>(n)) == 0;
}

[[noreturn]] void raiseDamaged() {
    throw runtime::Failure(err::UnrecognizedFormat, QStringLiteral("Los cambios guardados están dañados."));
}

} // namespace

ChangeLog::~ChangeLog() { stop(); }

void ChangeLog::watch(sqlite3* db, Watch w) {
    stop();
    db_ = db;
    watch_ = std::move(w);
    table_ = watch_.table.toUtf8();
    sqlite3_preupdate_hook(db_, &ChangeLog::hook, this);
}

void ChangeLog::stop() {
    if (db_) sqlite3_preupdate_hook(db_, nullptr, nullptr);
    db_ = nullptr;
    log_.clear();
    rows_ = statementRows_ = 0;
    statementStart_ = 0;
}

void ChangeLog::begin() {
    log_.clear();
    rows_ = statementRows_ = 0;
    statementStart_ = 0;
    if (!db_) return;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT cid, name FROM pragma_table_info(?)", -1, &st, nullptr);
    if (rc != SQLITE_OK) raiseSqlite(db_, rc, {});
    sqlite3_bind_text(st, 1, table_.constData(), static_cast<int>(table_.size()), SQLITE_STATIC);
    QHash<QString, int> byName;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        byName.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))).toLower(),
                      sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) raiseSqlite(db_, rc, {});
    auto numbers = [&](const QStringList& names) {
        std::vector<int> found;
        for (const QString& name : names)
            found.push_back(byName.value(name.toLower(), -1));
        return found;
    };
    with_ = numbers(watch_.with);
    columns_ = numbers(watch_.columns);
}

void ChangeLog::statementEnded(bool kept) {
    if (kept) {
        rows_ += statementRows_;
    } else {
        log_.truncate(statementStart_);
    }
    statementRows_ = 0;
    statementStart_ = log_.size();
}

QByteArray ChangeLog::take() {
    QByteArray records;
    if (statementStart_ == log_.size()) { // between statements: the whole log, without a copy
        records = std::exchange(log_, QByteArray());
        log_.reserve(records.size());
    } else {
        records = log_.left(statementStart_);
        log_.remove(0, statementStart_);
    }
    statementStart_ = 0;
    rows_ = 0;
    return records;
}

void ChangeLog::hook(void* self, sqlite3* db, int op, const char* database, const char* table, long long,
                     long long newRowid) {
    auto* log = static_cast<ChangeLog*>(self);
    if (op != SQLITE_UPDATE || std::strcmp(database, "main") != 0 || sqlite3_stricmp(table, log->table_.constData()))
        return;
    (void)db;
    log->logRow(newRowid);
}

void ChangeLog::logRow(long long rowid) {
    // Before and after of each watched column; a column the table does not have is NULL in both.
    const std::size_t n = columns_.size();
    values_.assign(with_.size() + 2 * n, nullptr);
    sqlite3_value** before = values_.data() + with_.size();
    sqlite3_value** after = before + n;
    bool changed = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (columns_[i] < 0) continue;
        if (sqlite3_preupdate_old(db_, columns_[i], &before[i]) != SQLITE_OK ||
            sqlite3_preupdate_new(db_, columns_[i], &after[i]) != SQLITE_OK)
            before[i] = after[i] = nullptr;
        else if (!same(before[i], after[i]))
            changed = true;
    }
    if (!changed) return;
    for (std::size_t i = 0; i < with_.size(); ++i)
        if (with_[i] >= 0 && sqlite3_preupdate_new(db_, with_[i], &values_[i]) != SQLITE_OK) values_[i] = nullptr;
    // The row's size first, then its bytes in place: one growth of the log a row.
    std::size_t size = sizeof(qint64);
    for (sqlite3_value* v : values_) {
        const int type = v ? sqlite3_value_type(v) : SQLITE_NULL;
        size += type == SQLITE_NULL                              ? 1
                : type == SQLITE_INTEGER || type == SQLITE_FLOAT ? 1 + sizeof(qint64)
                                                                 : 1 + sizeof(quint32) + sqlite3_value_bytes(v);
    }
    const qsizetype at = log_.size();
    log_.resize(at + static_cast<qsizetype>(size));
    char* p = log_.data() + at;
    auto put = [&p](auto v) {
        std::memcpy(p, &v, sizeof v);
        p += sizeof v;
    };
    put(static_cast<qint64>(rowid));
    for (sqlite3_value* v : values_) {
        switch (v ? sqlite3_value_type(v) : SQLITE_NULL) {
        case SQLITE_INTEGER:
            *p++ = Integer;
            put(static_cast<qint64>(sqlite3_value_int64(v)));
            break;
        case SQLITE_FLOAT:
            *p++ = Real;
            put(sqlite3_value_double(v));
            break;
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const bool text = sqlite3_value_type(v) == SQLITE_TEXT;
            const void* bytes = text ? static_cast<const void*>(sqlite3_value_text(v)) : sqlite3_value_blob(v);
            const int length = sqlite3_value_bytes(v);
            *p++ = text ? Text : Blob;
            put(static_cast<quint32>(length));
            if (length) std::memcpy(p, bytes, static_cast<std::size_t>(length));
            p += length;
            break;
        }
        default: *p++ = Null; break;
        }
    }
    ++statementRows_;
}

void ChangeLog::forEachRow(const QByteArray& records, int with, int columns,
                           const std::function<void(long long, const std::vector<Value>&)>& f) {
    const char* p = records.constData();
    const char* end = p + records.size();
    auto take = [&](void* to, std::size_t n) {
        if (static_cast<std::size_t>(end - p) < n) raiseDamaged();
        std::memcpy(to, p, n);
        p += n;
    };
    const auto count = static_cast<std::size_t>(with + 2 * columns);
    std::vector<Value> values(count);
    while (p < end) {
        qint64 rowid;
        take(&rowid, sizeof rowid);
        for (Value& v : values) {
            char tag;
            take(&tag, 1);
            v = Value{};
            switch (tag) {
            case Null: v.kind = Value::Null; break;
            case Integer: {
                qint64 i;
                take(&i, sizeof i);
                v.kind = Value::Integer;
                v.integer = i;
                break;
            }
            case Real:
                v.kind = Value::Real;
                take(&v.real, sizeof v.real);
                break;
            case Text:
            case Blob: {
                quint32 n;
                take(&n, sizeof n);
                if (static_cast<std::size_t>(end - p) < n) raiseDamaged();
                v.kind = tag == Text ? Value::Text : Value::Blob;
                v.bytes = QByteArray(p, static_cast<qsizetype>(n));
                p += n;
                break;
            }
            default: raiseDamaged();
            }
        }
        f(rowid, values);
    }
}

void ChangeLog::bind(Statement& st, int index, const Value& v) {
    sqlite3_stmt* h = st.handle();
    switch (v.kind) {
    case Value::Integer: sqlite3_bind_int64(h, index, v.integer); break;
    case Value::Real: sqlite3_bind_double(h, index, v.real); break;
    case Value::Text:
        sqlite3_bind_text(h, index, v.bytes.constData(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
        break;
    case Value::Blob:
        sqlite3_bind_blob(h, index, v.bytes.constData(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
        break;
    default: sqlite3_bind_null(h, index); break;
    }
}

} // namespace ado
