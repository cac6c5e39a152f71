#include "platform/ado/writes/ChangeLog.h"
#include "platform/ado/Errors.h"
#include "platform/ado/Statement.h"
#include "platform/runtime/Failure.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <utility>

namespace ado {

namespace {

enum Tag : char { Null = 0, Integer = 1, Real = 2, Text = 3, Blob = 4 };

bool numeric(int type) { return type == SQLITE_INTEGER || type == SQLITE_FLOAT; }

const void* bytesOf(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(v))
                                                : sqlite3_value_blob(v);
}

// Whether the engine would find `a IS b` true.
bool same(sqlite3_value* a, sqlite3_value* b) {
    const int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
    if (numeric(ta) && numeric(tb)) {
        if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) return sqlite3_value_int64(a) == sqlite3_value_int64(b);
        return sqlite3_value_double(a) == sqlite3_value_double(b);
    }
    if (ta != tb) return false;
    if (ta == SQLITE_NULL) return true;
    const int n = sqlite3_value_bytes(a);
    return n == sqlite3_value_bytes(b) && std::memcmp(bytesOf(a), bytesOf(b), static_cast<std::size_t>(n)) == 0;
}

// The same for a logged value and what the file holds (a null pointer: NULL).
bool same(const ChangeLog::Value& logged, sqlite3_value* held) {
    const int t = held ? sqlite3_value_type(held) : SQLITE_NULL;
    using V = ChangeLog::Value;
    if ((logged.kind == V::Integer || logged.kind == V::Real) && numeric(t)) {
        if (logged.kind == V::Integer && t == SQLITE_INTEGER) return logged.integer == sqlite3_value_int64(held);
        const double d = logged.kind == V::Integer ? static_cast<double>(logged.integer) : logged.real;
        return d == sqlite3_value_double(held);
    }
    if (logged.kind == V::Null || t == SQLITE_NULL) return logged.kind == V::Null && t == SQLITE_NULL;
    if ((logged.kind == V::Text) != (t == SQLITE_TEXT) || (logged.kind == V::Blob) != (t == SQLITE_BLOB)) return false;
    return logged.bytes.size() == sqlite3_value_bytes(held) &&
           std::memcmp(logged.bytes.constData(), bytesOf(held), static_cast<std::size_t>(logged.bytes.size())) == 0;
}

// The same for two logged values.
bool same(const ChangeLog::Value& a, const ChangeLog::Value& b) {
    using V = ChangeLog::Value;
    const bool na = a.kind == V::Integer || a.kind == V::Real, nb = b.kind == V::Integer || b.kind == V::Real;
    if (na && nb) {
        if (a.kind == V::Integer && b.kind == V::Integer) return a.integer == b.integer;
        return (a.kind == V::Integer ? static_cast<double>(a.integer) : a.real) ==
               (b.kind == V::Integer ? static_cast<double>(b.integer) : b.real);
    }
    return a.kind == b.kind && a.bytes == b.bytes;
}

std::size_t encodedSize(sqlite3_value* v) {
    const int type = v ? sqlite3_value_type(v) : SQLITE_NULL;
    if (type == SQLITE_NULL) return 1;
    if (numeric(type)) return 1 + sizeof(qint64);
    return 1 + sizeof(quint32) + static_cast<std::size_t>(sqlite3_value_bytes(v));
}

template <typename T> char* put(char* p, T v) {
    std::memcpy(p, &v, sizeof v);
    return p + sizeof v;
}

char* encode(char* p, sqlite3_value* v) {
    switch (v ? sqlite3_value_type(v) : SQLITE_NULL) {
    case SQLITE_INTEGER: *p++ = Integer; return put(p, static_cast<qint64>(sqlite3_value_int64(v)));
    case SQLITE_FLOAT: *p++ = Real; return put(p, sqlite3_value_double(v));
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        *p++ = sqlite3_value_type(v) == SQLITE_TEXT ? Text : Blob;
        const int length = sqlite3_value_bytes(v);
        p = put(p, static_cast<quint32>(length));
        if (length) std::memcpy(p, bytesOf(v), static_cast<std::size_t>(length));
        return p + length;
    }
    default: *p++ = Null; return p;
    }
}

[[noreturn]] void raiseDamaged() {
    throw runtime::Failure(err::UnrecognizedFormat, QStringLiteral("Los cambios guardados están dañados."));
}

// Reads the records of a log, checking every length against what is there.
struct Reader {
    const char* p;
    const char* end;

    bool atEnd() const { return p >= end; }
    void take(void* to, std::size_t n) {
        if (static_cast<std::size_t>(end - p) < n) raiseDamaged();
        std::memcpy(to, p, n);
        p += n;
    }
    long long rowid() {
        qint64 id;
        take(&id, sizeof id);
        return id;
    }
    void value(ChangeLog::Value& v) {
        char tag;
        take(&tag, 1);
        v = ChangeLog::Value{};
        switch (tag) {
        case Null: v.kind = ChangeLog::Value::Null; break;
        case Integer: {
            qint64 i;
            take(&i, sizeof i);
            v.kind = ChangeLog::Value::Integer;
            v.integer = i;
            break;
        }
        case Real:
            v.kind = ChangeLog::Value::Real;
            take(&v.real, sizeof v.real);
            break;
        case Text:
        case Blob: {
            quint32 n;
            take(&n, sizeof n);
            if (static_cast<std::size_t>(end - p) < n) raiseDamaged();
            v.kind = tag == Text ? ChangeLog::Value::Text : ChangeLog::Value::Blob;
            v.bytes = QByteArray(p, static_cast<qsizetype>(n));
            p += n;
            break;
        }
        default: raiseDamaged();
        }
    }
};

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
    clear();
}

void ChangeLog::clear() {
    log_.clear();
    rows_ = statementRows_ = 0;
    statementStart_ = 0;
    statementRowids_.clear();
}

void ChangeLog::begin() {
    clear();
    if (!db_) return;
    // The hook numbers a row's values as the engine stores them: a VIRTUAL generated column has
    // no place among them.
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT name, hidden FROM pragma_table_xinfo(?, 'main')", -1, &st, nullptr);
    if (rc != SQLITE_OK) raiseSqlite(db_, rc, {});
    sqlite3_bind_text(st, 1, table_.constData(), static_cast<int>(table_.size()), SQLITE_STATIC);
    QHash<QString, int> stored;
    int next = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        constexpr int kVirtualGenerated = 2;
        if (sqlite3_column_int(st, 1) == kVirtualGenerated) continue;
        stored.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))).toLower(), next++);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) raiseSqlite(db_, rc, {});
    auto numbers = [&](const QStringList& names) {
        std::vector<int> found;
        for (const QString& name : names)
            found.push_back(stored.value(name.toLower(), -1));
        return found;
    };
    with_ = numbers(watch_.with);
    columns_ = numbers(watch_.columns);
}

void ChangeLog::statementEnded(bool kept) {
    if (sqlite3_get_autocommit(db_)) { // the engine rolled the whole transaction back
        clear();
        return;
    }
    if (statementRows_ > 1) compactStatement();
    if (kept)
        rows_ += statementRows_;
    else if (statementRows_)
        keepWhatStayed();
    statementRows_ = 0;
    statementStart_ = log_.size();
    statementRowids_.clear();
}

// The statement changed some row more than once (rules of the file changing it again, rounding a
// price, say): one record a row, with what it held first and what it holds last, in the order the
// rows were first changed; a row that ends as it began is no change.
void ChangeLog::compactStatement() {
    struct Record {
        long long rowid;
        const char* before; // its values before, to beforeEnd
        const char* beforeEnd;
        const char* rest; // its `with` values and values after, to end
        const char* end;
    };
    std::vector<Record> records;
    Reader r{log_.constData() + statementStart_, log_.constData() + log_.size()};
    Value v;
    while (!r.atEnd()) {
        Record rec{r.rowid(), r.p, nullptr, nullptr, nullptr};
        for (std::size_t i = 0; i < columns_.size(); ++i)
            r.value(v);
        rec.beforeEnd = rec.rest = r.p;
        for (std::size_t i = 0; i < with_.size() + columns_.size(); ++i)
            r.value(v);
        rec.end = r.p;
        records.push_back(rec);
    }
    std::vector<Record> rows;
    for (const Record& rec : records) {
        auto it = std::find_if(rows.begin(), rows.end(), [&](const Record& row) { return row.rowid == rec.rowid; });
        if (it == rows.end()) {
            rows.push_back(rec);
        } else {
            it->rest = rec.rest;
            it->end = rec.end;
        }
    }
    QByteArray compacted;
    int kept = 0;
    std::vector<Value> before(columns_.size()), after(columns_.size());
    for (const Record& row : rows) {
        Reader b{row.before, row.beforeEnd};
        for (Value& value : before)
            b.value(value);
        Reader a{row.rest, row.end};
        for (std::size_t i = 0; i < with_.size(); ++i)
            a.value(v);
        bool changed = false;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            a.value(after[i]);
            changed = changed || !same(before[i], after[i]);
        }
        if (!changed) continue;
        const auto id = static_cast<qint64>(row.rowid);
        compacted.append(reinterpret_cast<const char*>(&id), sizeof id);
        compacted.append(row.before, row.beforeEnd - row.before);
        compacted.append(row.rest, row.end - row.rest);
        ++kept;
    }
    log_.truncate(statementStart_);
    log_.append(compacted);
    statementRows_ = kept;
}

// A refused statement is undone by the engine, unless the rule that refused it said FAIL: then
// what it changed before the refusal stays. What the file holds decides, row by row.
void ChangeLog::keepWhatStayed() {
    QStringList names;
    std::vector<std::size_t> compared; // the watched columns the table has, in the order selected
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i] < 0) continue;
        names
            << QLatin1Char('"') +
                   QString(watch_.columns[static_cast<qsizetype>(i)]).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
                   QLatin1Char('"');
        compared.push_back(i);
    }
    if (names.isEmpty()) names << QStringLiteral("1");
    const QByteArray sql =
        QStringLiteral("SELECT %1 FROM main.\"%2\" WHERE rowid = ?")
            .arg(names.join(u','), QString(watch_.table).replace(QLatin1Char('"'), QLatin1String("\"\"")))
            .toUtf8();
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.constData(), -1, &st, nullptr);
    if (rc != SQLITE_OK) raiseSqlite(db_, rc, {});
    QByteArray stayed;
    int rows = 0;
    Reader r{log_.constData() + statementStart_, log_.constData() + log_.size()};
    std::vector<Value> after(columns_.size());
    Value v;
    while (!r.atEnd()) {
        const char* record = r.p;
        const long long rowid = r.rowid();
        for (std::size_t i = 0; i < columns_.size() + with_.size(); ++i)
            r.value(v); // before, with
        for (Value& value : after)
            r.value(value);
        sqlite3_bind_int64(st, 1, rowid);
        rc = sqlite3_step(st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            sqlite3_finalize(st);
            raiseSqlite(db_, rc, {});
        }
        bool holds = rc == SQLITE_ROW;
        for (std::size_t k = 0; holds && k < compared.size(); ++k)
            holds = same(after[compared[k]], sqlite3_column_value(st, static_cast<int>(k)));
        sqlite3_reset(st);
        if (!holds) continue;
        stayed.append(record, r.p - record);
        ++rows;
    }
    sqlite3_finalize(st);
    log_.truncate(statementStart_);
    log_.append(stayed);
    rows_ += rows;
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

void ChangeLog::hook(void* self, sqlite3*, int op, const char* database, const char* table, long long,
                     long long newRowid) {
    auto* log = static_cast<ChangeLog*>(self);
    if (op != SQLITE_UPDATE || std::strcmp(database, "main") != 0 || sqlite3_stricmp(table, log->table_.constData()))
        return;
    log->logRow(newRowid);
}

void ChangeLog::logRow(long long rowid) {
    // Before and after of each watched column; a column the table does not have is NULL in both.
    const std::size_t n = columns_.size();
    values_.assign(2 * n + with_.size(), nullptr);
    sqlite3_value** before = values_.data();
    sqlite3_value** with = before + n;
    sqlite3_value** after = with + with_.size();
    bool changed = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (columns_[i] < 0) continue;
        if (sqlite3_preupdate_old(db_, columns_[i], &before[i]) != SQLITE_OK ||
            sqlite3_preupdate_new(db_, columns_[i], &after[i]) != SQLITE_OK)
            before[i] = after[i] = nullptr;
        else if (!same(before[i], after[i]))
            changed = true;
    }
    // A row the statement changed before is logged again whatever changed now (its code, say):
    // the statement's records are made one a row when it ends (compactStatement).
    const bool again = std::find(statementRowids_.begin(), statementRowids_.end(), rowid) != statementRowids_.end();
    if (!changed && !again) return;
    for (std::size_t i = 0; i < with_.size(); ++i)
        if (with_[i] >= 0 && sqlite3_preupdate_new(db_, with_[i], &with[i]) != SQLITE_OK) with[i] = nullptr;
    std::size_t size = sizeof(qint64);
    for (sqlite3_value* v : values_)
        size += encodedSize(v);
    const qsizetype at = log_.size();
    log_.resize(at + static_cast<qsizetype>(size));
    char* p = put(log_.data() + at, static_cast<qint64>(rowid));
    for (sqlite3_value* v : values_)
        p = encode(p, v);
    if (!again) statementRowids_.push_back(rowid);
    ++statementRows_;
}

int ChangeLog::forEachRow(const QByteArray& records, int with, int columns,
                          const std::function<void(long long, const std::vector<Value>&)>& f) {
    Reader r{records.constData(), records.constData() + records.size()};
    std::vector<Value> values(static_cast<std::size_t>(with) + 2 * static_cast<std::size_t>(columns));
    int rows = 0;
    while (!r.atEnd()) {
        const long long rowid = r.rowid();
        for (Value& v : values)
            r.value(v);
        f(rowid, values);
        ++rows;
    }
    return rows;
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
