#pragma once
// ADO's Connection over SQLite. The Jet provider's connection string is understood as such: the
// data source is the database file (a backslash is a path separator, as on the original platform),
// which must exist and be an SQLite database; it is never created.
//
// Writes go into one transaction that is committed when the program is about to wait for the
// operator, when the recordset that wrote is released, when the connection closes, and at the
// latest every few seconds; each row's update is one statement, so whatever stops the program,
// every article is written whole or not at all.
#include "platform/runtime/EsperaOperador.h"

#include <QElapsedTimer>
#include <QString>
#include <QVector>
#include <memory>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace ado {

// ADO error numbers used by the stand-in.
namespace err {
constexpr long Generico = -2147467259;              // 0x80004005
constexpr long SoloLectura = -2147217911;           // 0x80040E09
constexpr long TablaNoEncontrada = -2147217865;     // 0x80040E37
constexpr long Sintaxis = -2147217900;              // 0x80040E14
constexpr long FilaEliminada = -2147217885;         // 0x80040E23
constexpr long ObjetoCerrado = -2146824584;         // 3704
constexpr long SinRegistroActual = -2146825267;     // 3021
constexpr long ElementoNoEncontrado = -2146825023;  // 3265
constexpr long ProveedorNoEncontrado = -2146824582; // 3706
constexpr long OperacionNoAdmitida = -2146825037;   // 3251
} // namespace err

class Statement;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Open(const QString& connectionString, const QString& userId = {}, const QString& password = {},
              long options = -1);
    void Close();
    int State() const { return db_ ? 1 : 0; } // adStateOpen, adStateClosed
    const QString& ruta() const { return ruta_; }
    bool soloLectura() const { return soloLectura_; }

    // For the recordsets of this connection.
    Statement& sentencia(const QString& sql);
    void antesDeEscribir();
    void despuesDeEscribir();
    void confirmar(); // commits the pending writes, if any
    [[noreturn]] void fallo(int codigo) const;
    sqlite3* db() const { return db_; }

    // How long a batch of writes may stay uncommitted while the program works.
    static constexpr int kMsEntreConfirmaciones = 10000;

private:
    sqlite3* db_ = nullptr;
    QString ruta_;
    bool soloLectura_ = false;
    bool enTransaccion_ = false;
    QElapsedTimer desdeInicio_;
    rt::IdEspera espera_ = 0;
    std::unordered_map<QString, std::unique_ptr<Statement>> cache_;
};

// A prepared statement owned by the connection's cache.
class Statement {
public:
    Statement(const Connection& conn, const QString& sql);
    ~Statement();
    void bind(int index, const QString& text);
    void bindDouble(int index, double value);
    void bindInt64(int index, long long value);
    void bindNull(int index);
    bool step(); // true while a row is available
    void reset();
    int columnCount() const;
    QString columnName(int i) const;
    QString columnDeclType(int i) const;
    sqlite3_stmt* handle() const { return stmt_; }

private:
    const Connection& conn_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Replaces each text literal of an SQL text by a parameter, so that queries that differ only
// in their literals share one prepared statement.
struct SqlParametrizado {
    QString sql;
    QVector<QString> literales;
    static SqlParametrizado de(const QString& sql);
};

QString rutaDeOrigen(const QString& dataSource);

} // namespace ado
