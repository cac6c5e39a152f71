#include "platform/ado/Statement.h"
#include "platform/ado/Errors.h"
#include "platform/runtime/Conversions.h"

#include <sqlite3.h>

namespace ado {

Statement::Statement(sqlite3* db, const QString& sql, const QString& path) : db_(db), path_(path) {
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(db, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_PREPARE_PERSISTENT,
                                      &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        raiseSqlite(db, rc, path);
    }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

void Statement::bind(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt_, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}
void Statement::bind(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
void Statement::bind(int index, long long value) { sqlite3_bind_int64(stmt_, index, value); }
void Statement::bindNull(int index) { sqlite3_bind_null(stmt_, index); }

void Statement::bind(int index, const runtime::FieldValue& value) {
    switch (value.kind()) {
    case runtime::FieldValue::Kind::Number: bind(index, value.number()); break;
    case runtime::FieldValue::Kind::Text: bind(index, value.text()); break;
    case runtime::FieldValue::Kind::Date: bind(index, runtime::isoDateText(value.date())); break;
    default: bindNull(index); break;
    }
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt_);
    raiseSqlite(db_, rc, path_);
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int Statement::columnCount() const { return sqlite3_column_count(stmt_); }
QString Statement::columnName(int i) const { return QString::fromUtf8(sqlite3_column_name(stmt_, i)); }
QString Statement::columnDeclType(int i) const {
    const char* t = sqlite3_column_decltype(stmt_, i);
    return t ? QString::fromUtf8(t) : QString();
}
long long Statement::columnInt64(int i) const { return sqlite3_column_int64(stmt_, i); }

QByteArray Statement::columnBlob(int i) const {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, i));
    return QByteArray(p, sqlite3_column_bytes(stmt_, i));
}

void Statement::bindBlob(int index, const QByteArray& bytes) {
    sqlite3_bind_blob(stmt_, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

runtime::FieldValue Statement::column(int i) const {
    switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER: return runtime::FieldValue(static_cast<double>(sqlite3_column_int64(stmt_, i)));
    case SQLITE_FLOAT: return runtime::FieldValue(sqlite3_column_double(stmt_, i));
    case SQLITE_NULL: return runtime::FieldValue::Null();
    default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
        return runtime::FieldValue(QString::fromUtf8(p, sqlite3_column_bytes(stmt_, i)));
    }
    }
}

int Statement::reprepareCount() const { return sqlite3_stmt_status(stmt_, SQLITE_STMTSTATUS_REPREPARE, 0); }

std::shared_ptr<Statement> StatementCache::get(sqlite3* db, const QString& sql, const QString& path) {
    if (auto it = cache_.find(sql); it != cache_.end()) return it->second;
    if (cache_.size() >= kMax) cache_.clear();
    auto st = std::make_shared<Statement>(db, sql, path);
    cache_.emplace(sql, st);
    return st;
}

} // namespace ado
