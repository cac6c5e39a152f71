#pragma once
// A prepared statement of the engine, and the connection's cache of them keyed by SQL text.
#include "platform/runtime/FieldValue.h"

#include <QByteArray>
#include <QHash> // std::hash of QString
#include <QString>
#include <memory>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace ado {

class Statement {
public:
    // Fails as the provider does when the text does not compile; `path` names the file in messages.
    Statement(sqlite3* db, const QString& sql, const QString& path);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index, const QString& text);
    void bind(int index, double value);
    void bind(int index, long long value);
    void bind(int index, const runtime::FieldValue& value); // dates are kept as ISO texts
    void bindNull(int index);
    void bindBlob(int index, const QByteArray& bytes);
    bool step(); // true while a row is available; fails as the provider does
    void reset();

    int columnCount() const;
    QString columnName(int i) const;
    QString columnDeclType(int i) const;
    long long columnInt64(int i) const;
    runtime::FieldValue column(int i) const; // Null for an empty field
    QByteArray columnBlob(int i) const;
    // How many times the engine compiled the statement again because the schema changed.
    int reprepareCount() const;
    sqlite3_stmt* handle() const { return stmt_; }

private:
    sqlite3* db_;
    const QString& path_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Statements are shared: one that the cache lets go lives on while someone still holds it.
class StatementCache {
public:
    std::shared_ptr<Statement> get(sqlite3* db, const QString& sql, const QString& path);
    void clear() { cache_.clear(); }

private:
    static constexpr std::size_t kMax = 64;
    std::unordered_map<QString, std::shared_ptr<Statement>> cache_;
};

} // namespace ado
