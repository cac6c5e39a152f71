#include "import/Converter.h"
#include "command/Command.h"
#include "schema/Schema.h"

#include <QFile>
#include <new>
#include <sqlite3.h>

namespace importer {

namespace {

// What SQLite's error means, for the person at the keyboard.
QString whatWentWrong(int code) {
    switch (code & 0xff) {
    case SQLITE_FULL: return QStringLiteral("el disco está lleno");
    case SQLITE_IOERR: return QStringLiteral("el disco dio un error de lectura o escritura");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH: return QStringLiteral("no hay permiso para escribir en él");
    case SQLITE_NOMEM: return QStringLiteral("no hay memoria suficiente");
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return QStringLiteral("otro programa lo tiene bloqueado");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return QStringLiteral("se dañó mientras se escribía");
    case SQLITE_TOOBIG: return QStringLiteral("un valor es más grande de lo que SQLite guarda");
    default: return QStringLiteral("SQLite devolvió el error %1").arg(code);
    }
}

class Db {
public:
    Db(const QString& path, const std::atomic<bool>* stop) : stop_(stop) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            fail(QStringLiteral("al abrirlo"));
        sqlite3_extended_result_codes(db_, 1);
    }
    ~Db() { sqlite3_close_v2(db_); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    // `what` says what was being done, should it fail.
    void exec(const QString& sql, const QString& what) {
        if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK) fail(what);
    }
    bool tryExec(const QString& sql) {
        return sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    sqlite3_stmt* prepare(const QString& sql, const QString& what) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) fail(what);
        return st;
    }
    [[noreturn]] void fail(const QString& what) {
        const int code = db_ ? sqlite3_extended_errcode(db_) : SQLITE_CANTOPEN;
        if (code == SQLITE_INTERRUPT && stop_ && stop_->load()) throw Interrupted();
        if ((code & 0xff) == SQLITE_NOMEM) throw std::bad_alloc(); // the reading process's bound, most likely
        throw WriteFailed(QStringLiteral("%1: %2").arg(what, whatWentWrong(code)).toStdString());
    }
    // A name for a new index that no table or index of the file has yet (SQLite names them
    // all in one space, without regard to case).
    QString unusedName(const QString& wanted, const QStringList& tables) {
        sqlite3_stmt* st = prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE"),
                                   QStringLiteral("al buscar un nombre libre"));
        QString name = wanted;
        for (int n = 2;; ++n) {
            const QByteArray utf8 = name.toUtf8();
            sqlite3_bind_text(st, 1, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
            const bool taken = sqlite3_step(st) == SQLITE_ROW ||
                               std::any_of(tables.begin(), tables.end(),
                                           [&](const QString& t) { return t.compare(name, Qt::CaseInsensitive) == 0; });
            sqlite3_reset(st);
            if (!taken) break;
            name = QStringLiteral("%1 (%2)").arg(wanted).arg(n);
        }
        sqlite3_finalize(st);
        return name;
    }
    sqlite3* handle() { return db_; }

private:
    sqlite3* db_ = nullptr;
    const std::atomic<bool>* stop_;
};

using command::shownName;
using schema::quoted;

bool sameName(const QString& a, QLatin1String b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

} // namespace

QString declaredType(const JetColumn& c) {
    // Texts compare without regard to case, as Jet compares them; numbers keep their class.
    switch (c.type) {
    case JetType::YesNo: return QStringLiteral("BOOLEAN");
    case JetType::Byte: return QStringLiteral("TINYINT");
    case JetType::Integer: return QStringLiteral("SMALLINT");
    case JetType::Long: return QStringLiteral("INTEGER");
    case JetType::Currency: return QStringLiteral("CURRENCY");
    case JetType::Single: return QStringLiteral("FLOAT");
    case JetType::Double: return QStringLiteral("DOUBLE");
    case JetType::DateTime: return QStringLiteral("DATETIME");
    case JetType::Binary: return QStringLiteral("BLOB");
    case JetType::Text: return QStringLiteral("VARCHAR(%1) COLLATE NOCASE").arg(c.size);
    case JetType::Ole: return QStringLiteral("BLOB");
    case JetType::Memo: return QStringLiteral("TEXT COLLATE NOCASE");
    case JetType::ReplicationId: return QStringLiteral("GUID");
    case JetType::Decimal: return QStringLiteral("DECIMAL(%1,%2)").arg(c.precision).arg(c.scale);
    case JetType::Complex: return QStringLiteral("INTEGER");
    }
    return QStringLiteral("BLOB");
}

Summary convert(const JetReader& source, const QString& target, const ConvertCallbacks& cb) {
    Summary summary;
    summary.version = source.version();
    Db db(target, cb.stop);
    // While SQLite works on its own (an index, the commit): still working, and Ctrl+C heard.
    sqlite3_progress_handler(
        db.handle(), 100000,
        [](void* callbacks) {
            const auto* c = static_cast<const ConvertCallbacks*>(callbacks);
            if (c->working) c->working();
            return c->stop && c->stop->load() ? 1 : 0;
        },
        const_cast<ConvertCallbacks*>(&cb));
    // The file is new and only takes its name once complete: no journal is needed while it is made.
    db.exec(QStringLiteral("PRAGMA page_size=4096; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN"),
            QStringLiteral("al empezarlo"));
    std::vector<JetTable> tables;
    for (const QString& name : source.userTables())
        tables.push_back(source.table(name));

    // Each table's name in the SQLite file: its own, unless SQLite keeps it for itself.
    QStringList stored;
    for (const JetTable& t : tables)
        stored << t.name;
    for (QString& name : stored) {
        if (!name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive)) continue;
        QString other = QLatin1Char('_') + name;
        while (std::any_of(stored.begin(), stored.end(),
                           [&](const QString& s) { return s.compare(other, Qt::CaseInsensitive) == 0; }))
            other.prepend(QLatin1Char('_'));
        name = other;
    }

    for (std::size_t ti = 0; ti < tables.size(); ++ti) {
        const JetTable& t = tables[ti];
        const QString& as = stored[static_cast<qsizetype>(ti)];
        if (cb.tableStarts) cb.tableStarts(t);
        TableSummary s;
        s.name = t.name;
        if (as != t.name) s.storedAs = as;
        s.counted = t.rowCount;
        QStringList columns;
        for (const JetColumn& c : t.columns)
            columns << quoted(c.name) + QLatin1Char(' ') + declaredType(c);
        for (const JetIndex& idx : t.indexes)
            if (idx.primaryKey) {
                QStringList keys;
                for (const auto& [column, descending] : idx.keys)
                    keys << quoted(t.columns[static_cast<std::size_t>(column)].name) +
                                (descending ? QStringLiteral(" DESC") : QString());
                columns << QStringLiteral("PRIMARY KEY (%1)").arg(keys.join(QStringLiteral(", ")));
                s.indexes << idx.name + QStringLiteral(" (clave principal)");
                break;
            }
        db.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(as), columns.join(QStringLiteral(", "))),
                QStringLiteral("al crear la tabla %1").arg(shownName(as)));

        QStringList marks;
        for (std::size_t i = 0; i < t.columns.size(); ++i)
            marks << QStringLiteral("?");
        sqlite3_stmt* insert =
            db.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quoted(as), marks.join(u',')),
                       QStringLiteral("al preparar la tabla %1").arg(shownName(as)));
        struct Finalize {
            sqlite3_stmt* st;
            ~Finalize() { sqlite3_finalize(st); }
        } finalize{insert};
        source.readRows(t, [&](const std::vector<Value>& values) {
            ++s.read;
            for (std::size_t i = 0; i < values.size(); ++i) {
                const Value& v = values[i];
                const int at = static_cast<int>(i) + 1;
                switch (v.kind) {
                case Value::Null: sqlite3_bind_null(insert, at); break;
                case Value::Integer: sqlite3_bind_int64(insert, at, v.integer); break;
                case Value::Real: sqlite3_bind_double(insert, at, v.real); break;
                case Value::Text:
                    sqlite3_bind_text(insert, at, v.bytes.constData(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
                    break;
                case Value::Blob:
                    sqlite3_bind_blob(insert, at, v.bytes.constData(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
                    break;
                }
                s.inexact += v.inexact;
            }
            const int rc = sqlite3_step(insert);
            sqlite3_reset(insert);
            if (rc == SQLITE_CONSTRAINT_PRIMARYKEY)
                throw DamagedFile(QStringLiteral("la tabla %1 tiene filas con la misma clave principal (la fila %2 "
                                                 "repite una anterior), que Access no permite: el archivo está dañado")
                                      .arg(shownName(t.name))
                                      .arg(s.read)
                                      .toStdString());
            if (rc != SQLITE_DONE)
                db.fail(QStringLiteral("al escribir la fila %1 de la tabla %2").arg(s.read).arg(shownName(as)));
            ++s.written;
            if ((s.read & 1023) == 0) {
                if (cb.rowsDone) cb.rowsDone(t, s.read);
                if (cb.stop && cb.stop->load()) throw Interrupted();
            }
            return true;
        });
        if (cb.rowsDone) cb.rowsDone(t, s.read);
        if (cb.stop && cb.stop->load()) throw Interrupted();

        // The other indexes, once the rows are in. Names are the table's and the index's: Jet
        // names indexes per table, SQLite per file.
        for (const JetIndex& idx : t.indexes) {
            if (idx.primaryKey) continue;
            QStringList keys;
            for (const auto& [column, descending] : idx.keys)
                keys << quoted(t.columns[static_cast<std::size_t>(column)].name) +
                            (descending ? QStringLiteral(" DESC") : QString());
            const QString name = quoted(db.unusedName(as + QLatin1Char('.') + idx.name, stored));
            const QString create = QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                                       .arg(idx.unique ? QStringLiteral("UNIQUE ") : QString(), name, quoted(as),
                                            keys.join(QStringLiteral(", ")));
            const QString what =
                QStringLiteral("al crear el índice %1 de la tabla %2").arg(shownName(idx.name), shownName(as));
            if (db.tryExec(create)) {
                s.indexes << idx.name + (idx.unique ? QStringLiteral(" (único)") : QString());
            } else if (idx.unique && (sqlite3_extended_errcode(db.handle()) & 0xff) == SQLITE_CONSTRAINT) {
                // Rows that SQLite sees as equal where Jet did not: the index, without the rule.
                db.exec(
                    QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(name, quoted(as), keys.join(QStringLiteral(", "))),
                    what);
                s.indexes << idx.name + QStringLiteral(" (sin la regla de único: hay filas repetidas)");
            } else {
                db.fail(what);
            }
        }

        // What the program needs of this table.
        for (const schema::Table& n : schema::tables()) {
            if (!sameName(t.name, n.name)) continue;
            auto hasColumn = [&](QLatin1String column) {
                return std::any_of(t.columns.begin(), t.columns.end(),
                                   [&](const JetColumn& c) { return sameName(c.name, column); });
            };
            for (const schema::Column& column : n.columns)
                if (!hasColumn(column.name)) summary.missing << t.name + QLatin1Char('.') + column.name;
            // Its index, unless one already leads with the same columns (as NOCASE texts).
            const auto& wanted = n.index.columns;
            auto leads = [&](const JetIndex& idx) {
                if (idx.keys.size() < wanted.size()) return false;
                for (std::size_t k = 0; k < wanted.size(); ++k) {
                    const JetColumn& c = t.columns[static_cast<std::size_t>(idx.keys[k].first)];
                    if (!sameName(c.name, wanted[k])) return false;
                    if (k == 0 && c.type != JetType::Text && c.type != JetType::Memo) return false;
                }
                return true;
            };
            const bool present = std::any_of(t.indexes.begin(), t.indexes.end(), leads);
            if (present || !std::all_of(wanted.begin(), wanted.end(), hasColumn)) continue;
            const QString name = db.unusedName(n.index.name, stored);
            db.exec(QStringLiteral("CREATE INDEX %1 ON %2 (%3)").arg(quoted(name), quoted(as), schema::indexColumns(n)),
                    QStringLiteral("al crear el índice %1 de la tabla %2").arg(shownName(name), shownName(as)));
            s.indexes << name + QStringLiteral(" (nuevo, para el programa)");
        }
        summary.tables.push_back(s);
    }
    for (const schema::Table& n : schema::tables())
        if (std::none_of(tables.begin(), tables.end(), [&](const JetTable& t) { return sameName(t.name, n.name); }))
            summary.missing << n.name;

    db.exec(QStringLiteral("COMMIT"), QStringLiteral("al terminarlo"));
    // A file like any other from now on: changes go through the rollback journal.
    db.exec(QStringLiteral("PRAGMA journal_mode=DELETE"), QStringLiteral("al terminarlo"));
    return summary;
}

} // namespace importer
