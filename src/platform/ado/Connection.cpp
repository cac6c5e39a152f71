#include "platform/ado/Connection.h"
#include "platform/runtime/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <sqlite3.h>

namespace ado {

namespace {

constexpr int kMsEsperaBloqueo = 1500;
constexpr std::size_t kMaxSentencias = 64;

[[noreturn]] void fallar(long numero, const QString& texto) { throw rt::Failure(numero, texto); }

QString nombreDe(const QString& ruta) { return QDir::toNativeSeparators(ruta); }

QString mensajeSql(sqlite3* db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

struct Partes {
    QString provider, dataSource, password;
};

Partes analizar(const QString& cadena) {
    Partes p;
    for (const QString& trozo : cadena.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int igual = trozo.indexOf(QLatin1Char('='));
        if (igual < 0) continue;
        const QString clave = trozo.left(igual).trimmed().toLower();
        const QString valor = trozo.mid(igual + 1).trimmed();
        if (clave == QLatin1String("provider"))
            p.provider = valor;
        else if (clave == QLatin1String("data source"))
            p.dataSource = valor;
        else if (clave == QLatin1String("jet oledb:database password"))
            p.password = valor;
    }
    return p;
}

bool esCabeceraSqlite(const QString& ruta) {
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly)) return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

} // namespace

QString rutaDeOrigen(const QString& dataSource) {
    QString ruta = dataSource;
    ruta.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(ruta);
}

Connection::Connection() = default;

Connection::~Connection() {
    try {
        Close();
    } catch (...) {
        // The pending writes could not be committed; SQLite rolls them back, whole.
    }
}

void Connection::Open(const QString& connectionString, const QString&, const QString&, long) {
    if (db_)
        fallar(err::OperacionNoAdmitida,
               QStringLiteral("No se permite realizar la operación si el objeto está abierto."));
    const Partes partes = analizar(connectionString);
    if (!partes.provider.startsWith(QLatin1String("Microsoft.Jet.OLEDB."), Qt::CaseInsensitive) &&
        !partes.provider.startsWith(QLatin1String("Microsoft.ACE.OLEDB."), Qt::CaseInsensitive))
        fallar(err::ProveedorNoEncontrado,
               QStringLiteral("No se puede encontrar el proveedor. Es posible que no esté instalado correctamente."));

    const QString ruta = rutaDeOrigen(partes.dataSource);
    const QFileInfo info(ruta);
    if (partes.dataSource.isEmpty() || !info.exists() || info.isDir())
        fallar(err::Generico, QStringLiteral("No se pudo encontrar el archivo '%1'.").arg(nombreDe(ruta)));
    if (!info.isReadable())
        fallar(err::Generico,
               QStringLiteral("No se pudo usar '%1'; el archivo ya está en uso o no tiene permiso para abrirlo.")
                   .arg(nombreDe(ruta)));
    // A file that is not an SQLite database (a Jet file, say) is never handed to the engine,
    // which would treat an empty file as a new database.
    if (!esCabeceraSqlite(ruta))
        fallar(err::Generico,
               QStringLiteral("No se reconoce el formato de la base de datos '%1'.").arg(nombreDe(ruta)));

    // A file without write permission for anybody is read-only for everybody, as the read-only
    // attribute is on the original platform, whoever runs the program.
    // (WriteUser is the current user's access, which root always has: only the mode bits count.)
    const auto escritura = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    const bool soloLectura = !(info.permissions() & escritura);
    const int flags = (soloLectura ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(ruta).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString texto = db ? mensajeSql(db) : QString();
        sqlite3_close(db);
        fallar(err::Generico, QStringLiteral("No se pudo usar '%1'; %2.").arg(nombreDe(ruta), texto));
    }
    db_ = db;
    ruta_ = ruta;
    soloLectura_ = soloLectura;
    sqlite3_busy_timeout(db_, kMsEsperaBloqueo);
    sqlite3_exec(db_, "PRAGMA cache_size=-32768", nullptr, nullptr, nullptr); // 32 MB of page cache
    espera_ = rt::alEsperarOperador([this] {
        try {
            confirmar();
        } catch (...) {
            // Still locked by another program: the writes stay pending until the next point.
        }
    });
}

void Connection::Close() {
    if (!db_) return;
    rt::quitarEspera(espera_);
    espera_ = 0;
    try {
        confirmar();
    } catch (...) {
        cache_.clear();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw;
    }
    cache_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void Connection::fallo(int codigo) const {
    const QString texto = mensajeSql(db_);
    const QString archivo = nombreDe(ruta_);
    switch (codigo & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        fallar(err::Generico, QStringLiteral("No se pudo usar '%1'; el archivo ya está en uso.").arg(archivo));
    case SQLITE_READONLY:
        fallar(err::SoloLectura, QStringLiteral("No se puede actualizar. Base de datos u objeto de sólo lectura."));
    case SQLITE_NOTADB:
        fallar(err::Generico, QStringLiteral("No se reconoce el formato de la base de datos '%1'.").arg(archivo));
    case SQLITE_CORRUPT: fallar(err::Generico, QStringLiteral("La base de datos '%1' está dañada.").arg(archivo));
    case SQLITE_FULL: fallar(err::Generico, QStringLiteral("El disco está lleno."));
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        fallar(err::Generico, QStringLiteral("Error de disco o de red al usar '%1' (%2).").arg(archivo, texto));
    default: break;
    }
    static const QRegularExpression sinTabla(QStringLiteral("^no such table: (?:\\w+\\.)?(.*)$"));
    if (const auto m = sinTabla.match(texto); m.hasMatch())
        fallar(err::TablaNoEncontrada,
               QStringLiteral("El motor de base de datos no puede encontrar la tabla o consulta de entrada '%1'. "
                              "Asegúrese de que existe y que su nombre está escrito correctamente.")
                   .arg(m.captured(1)));
    if (texto.startsWith(QLatin1String("no such column")))
        fallar(err::Generico, QStringLiteral("No coinciden los campos de la consulta con la tabla (%1).").arg(texto));
    fallar(err::Sintaxis, QStringLiteral("Error de sintaxis en la instrucción SQL (%1).").arg(texto));
}

Statement& Connection::sentencia(const QString& sql) {
    if (!db_)
        fallar(err::ObjetoCerrado, QStringLiteral("No se permite realizar la operación si el objeto está cerrado."));
    if (auto it = cache_.find(sql); it != cache_.end()) return *it->second;
    if (cache_.size() >= kMaxSentencias) cache_.clear();
    auto st = std::make_unique<Statement>(*this, sql);
    return *cache_.emplace(sql, std::move(st)).first->second;
}

void Connection::antesDeEscribir() {
    if (enTransaccion_) return;
    const int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) fallo(rc);
    enTransaccion_ = true;
    desdeInicio_.start();
}

void Connection::despuesDeEscribir() {
    if (enTransaccion_ && desdeInicio_.elapsed() >= kMsEntreConfirmaciones) confirmar();
}

void Connection::confirmar() {
    if (!db_ || !enTransaccion_) return;
    if (sqlite3_get_autocommit(db_)) { // the engine rolled the transaction back itself
        enTransaccion_ = false;
        return;
    }
    const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) fallo(rc);
    enTransaccion_ = false;
}

Statement::Statement(const Connection& conn, const QString& sql) : conn_(conn) {
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(conn.db(), utf8.constData(), static_cast<int>(utf8.size()),
                                      SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        conn.fallo(rc);
    }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

void Statement::bind(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt_, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}
void Statement::bindDouble(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
void Statement::bindInt64(int index, long long value) { sqlite3_bind_int64(stmt_, index, value); }
void Statement::bindNull(int index) { sqlite3_bind_null(stmt_, index); }

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(stmt_);
    conn_.fallo(rc);
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

SqlParametrizado SqlParametrizado::de(const QString& sql) {
    SqlParametrizado r;
    r.sql.reserve(sql.size());
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('[')) { // quoted identifiers are copied as they are
            const QChar cierre = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            const qsizetype fin = sql.indexOf(cierre, i + 1);
            if (fin < 0) return {sql, {}};
            r.sql += QStringView(sql).mid(i, fin - i + 1);
            i = fin;
            continue;
        }
        if (c != QLatin1Char('\'')) {
            r.sql += c;
            continue;
        }
        QString literal;
        qsizetype j = i + 1;
        for (;; ++j) {
            if (j >= n) return {sql, {}}; // unterminated: the engine reports it on the text as written
            if (sql[j] == QLatin1Char('\'')) {
                if (j + 1 < n && sql[j + 1] == QLatin1Char('\'')) {
                    literal += QLatin1Char('\'');
                    ++j;
                    continue;
                }
                break;
            }
            literal += sql[j];
        }
        r.literales.push_back(literal);
        r.sql += QLatin1Char('?');
        if (j + 1 < n && (sql[j + 1].isLetterOrNumber() || sql[j + 1] == QLatin1Char('_'))) r.sql += QLatin1Char(' ');
        i = j;
    }
    return r;
}

} // namespace ado
