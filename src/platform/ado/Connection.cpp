#include "platform/ado/Connection.h"
#include "platform/ado/ConnectionString.h"
#include "platform/ado/Errors.h"
#include "platform/ado/RowFingerprint.h"
#include "platform/runtime/Failure.h"
#include "schema/FileKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace ado {

namespace {

bool isDateType(const QString& declType) {
    const QString t = declType.toUpper();
    return t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME"));
}

// Why this user may not change the file, or an empty text if it may: writing needs the file and
// its folder, where the rollback journal is made for every transaction.
QString whyNotWritable(const QString& path) {
    const QByteArray file = QFile::encodeName(path);
    const QString folder = QFileInfo(path).absolutePath();
    auto denied = [](const QByteArray& p, int mode) {
        return faccessat(AT_FDCWD, p.constData(), mode, AT_EACCESS) != 0;
    };
    if (denied(file, W_OK))
        return errno == EROFS
                   ? QStringLiteral("la unidad de '%1' es de sólo lectura").arg(displayName(path))
                   : QStringLiteral("este usuario no tiene permiso para escribir en '%1'").arg(displayName(path));
    if (denied(QFile::encodeName(folder), W_OK | X_OK))
        return QStringLiteral("este usuario no tiene permiso para crear archivos en la carpeta '%1', donde la base "
                              "de datos guarda el diario de sus cambios")
            .arg(displayName(folder));
    return {};
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

QString networkFileSystem(unsigned long type) {
    switch (type) {
    case 0x6969: return QStringLiteral("NFS");
    case 0x517B:                                        // SMB
    case 0xFF534D42:                                    // CIFS
    case 0xFE534D42: return QStringLiteral("SMB/CIFS"); // SMB2
    case 0x65735546: return QStringLiteral("FUSE");
    case 0x01021997: return QStringLiteral("9p");
    case 0x00C36400: return QStringLiteral("Ceph");
    case 0x5346414F:                               // OpenAFS
    case 0x6B414653: return QStringLiteral("AFS"); // the kernel's AFS
    case 0x73757245: return QStringLiteral("Coda");
    case 0x564C: return QStringLiteral("NCP");
    default: return {};
    }
}

namespace {

// FUSE serves network file systems (sshfs, rclone...) and local disks alike (ntfs-3g, as
// "fuseblk"): the mount table tells them apart, by the file's device.
bool onLocalFuseDisk(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return false;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly)) return false;
    const QByteArray device = QByteArray::number(major(st.st_dev)) + ':' + QByteArray::number(minor(st.st_dev));
    // id parent major:minor root mount-point options [optional fields] - type source super-options
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3 || fields[2] != device) continue;
        const auto dash = fields.indexOf("-");
        if (dash > 0 && dash + 1 < fields.size()) return fields[dash + 1] == "fuseblk";
    }
    return false;
}

} // namespace

QString pathOfDataSource(const QString& dataSource) {
    QString path = dataSource;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(path);
}

Connection::Connection() {
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
        writes_.stop();
        changes_.stop();
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
    if (schema::fileKind(path) != schema::FileKind::Sqlite) raiseUnrecognizedFormat(path);

    // A file without write permission for anybody is read-only for everybody, as the read-only
    // attribute is on the original platform, whoever runs the program. Otherwise this user must
    // be allowed to write the file, and to make the rollback journal beside it, in its folder.
    const auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    QString readOnlyReason;
    bool readOnly = !(info.permissions() & anyWrite);
    if (!readOnly) readOnlyReason = whyNotWritable(path);
    readOnly = readOnly || !readOnlyReason.isEmpty();
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
    readOnlyReason_ = readOnlyReason;
    RowFingerprint::registerWith(db_);
    // Installed once, before any statement: installing an authorizer makes the engine compile
    // every prepared statement again, and the cursors open then would take that for a change of
    // their table's columns.
    sqlite3_set_authorizer(
        db_,
        [](void* self, int action, const char* table, const char*, const char*, const char*) -> int {
            QStringList* tables = static_cast<Connection*>(self)->tablesNoted_;
            if (tables && action == SQLITE_READ && table && std::strncmp(table, "sqlite_", 7) != 0) {
                const QString name = QString::fromUtf8(table);
                if (!tables->contains(name, Qt::CaseInsensitive)) tables->append(name);
            }
            return SQLITE_OK;
        },
        this);
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
    // The rollback journal is emptied after each transaction, not deleted: in a shared folder that
    // is sticky (so that no user may replace another's files, the program among them), a user
    // could not delete the journal another user made. A file another program keeps in another
    // mode (WAL, say) stays in it.
    if (!readOnly) {
        const auto deleteMode = [](void* found, int, char** values, char**) {
            *static_cast<bool*>(found) = values[0] && std::strcmp(values[0], "delete") == 0;
            return 0;
        };
        bool inDeleteMode = false;
        sqlite3_exec(db_, "PRAGMA journal_mode", deleteMode, &inDeleteMode, nullptr);
        if (inDeleteMode) sqlite3_exec(db_, "PRAGMA journal_mode=TRUNCATE", nullptr, nullptr, nullptr);
    }
    warnIfOnNetwork(path);
    wait_ = runtime::onOperatorWait([this](bool programEnds) {
        endReading(); // no lock of the file is held while the operator reads a box
        writes_.beforeWait(programEnds);
    });
}

void Connection::warnIfOnNetwork(const QString& path) {
    struct statfs fs {};
    if (::statfs(QFile::encodeName(path).constData(), &fs) != 0) return;
    const QString kind = networkFileSystem(static_cast<unsigned long>(fs.f_type));
    static QStringList warned; // once a file, however many runs open it
    if (kind.isEmpty() || warned.contains(path)) return;
    if (kind == QLatin1String("FUSE") && onLocalFuseDisk(QFile::encodeName(path))) return;
    warned << path;
    runtime::tellOperatorNow(
        QStringLiteral("La base de datos '%1' está en una unidad de red (%2). En una unidad de red el bloqueo "
                       "de la base de datos no es fiable: si otro equipo la usa a la vez, pueden perderse "
                       "cambios sin aviso. Copie la base de datos al disco de este equipo.")
            .arg(displayName(path), kind));
}

void Connection::Close() {
    if (!db_) return;
    endReading();
    flush(kBusyMs);
    runtime::removeOperatorWait(wait_);
    wait_ = 0;
    writes_.stop();
    changes_.stop();
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
        for (const QString& table : tablesRead(s.keysSql))
            s.tablesRead.push_back(writes_.pending().table(table));
    }
    return shapes_.insert(sql, s).value();
}

QStringList Connection::tablesRead(const QString& sql) {
    // The engine names every table it reads as it compiles the statement (a subquery's too, and
    // those under a view), to the authorizer installed at opening.
    QStringList tables;
    tablesNoted_ = &tables;
    sqlite3_stmt* st = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_prepare_v2(db_, utf8.constData(), static_cast<int>(utf8.size()), &st, nullptr);
    sqlite3_finalize(st);
    tablesNoted_ = nullptr;
    return tables;
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
    layout->tableId = writes_.pending().table(shape.table);
    layout->row = statement(shape.rowSql);
    layout->reprepares = layout->row->reprepareCount();
    const int n = layout->row->columnCount();
    for (int i = 0; i < n; ++i) {
        layout->columns << layout->row->columnName(i);
        layout->isDate.push_back(isDateType(layout->row->columnDeclType(i)));
        layout->columnIds.push_back(writes_.pending().column(layout->tableId, layout->columns.back()));
    }
    // The declared primary key, in its order: it names a row to the operator and identifies it.
    const auto info = statement(QStringLiteral("SELECT name FROM pragma_table_info(?) WHERE pk>0 ORDER BY pk"));
    info->bind(1, shape.table);
    while (info->step())
        layout->keyColumns << info->column(0).text();
    info->reset();
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
        writes_.discard();
        runtime::raise(err::UnrecognizedFormat, damaged_);
    }
}

void Connection::addPendingWrite(int table, long long rowid, const PendingWrites::Write& w) {
    if (!damaged_.isEmpty()) {
        writes_.discard();
        runtime::raise(err::UnrecognizedFormat, damaged_);
    }
    writes_.add(table, rowid, w);
}

void Connection::beginWriting() {
    endReading();
    exec("BEGIN IMMEDIATE");
    try {
        if (changes_.watching()) changes_.begin();
        if (onWriteBegin_) onWriteBegin_();
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void Connection::logChanges(ChangeLog::Watch watch, std::function<void(const QByteArray&, int)> logged) {
    if (!db_) raiseObjectClosed();
    changes_.watch(db_, std::move(watch));
    onChanges_ = std::move(logged);
}

// The writer rolls back when these fail.
void Connection::statementEnded(bool kept) {
    if (!changes_.watching()) return;
    changes_.statementEnded(kept);
    if (changes_.rows() >= kLoggedRows) handOverChanges();
}

void Connection::handOverChanges() {
    if (!changes_.rows()) return;
    const int rows = changes_.rows();
    const QByteArray records = changes_.take();
    if (onChanges_) onChanges_(records, rows);
}

void Connection::commit(std::size_t rowsUpdated) {
    handOverChanges();
    if (onWriteEnd_) onWriteEnd_(rowsUpdated);
    exec("COMMIT");
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

void Connection::flushPoint() {
    if (readingSince_.isValid() && readingSince_.elapsed() >= kReadHoldMs) endReading();
    writes_.flushPoint();
}

} // namespace ado
