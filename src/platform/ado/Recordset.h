#pragma once
// ADO's Recordset over SQLite, as a server-side keyset cursor: opening reads the keys of the rows
// in query order (so RecordCount is exact), each move fetches the current row by its key, and
// Update writes the assigned fields of the current row. Field names are case-insensitive, and
// empty fields come back as Null.
#include "platform/ado/Connection.h"
#include "platform/runtime/FieldValue.h"

#include <QStringList>
#include <map>
#include <vector>

namespace ado {

enum : int { adUseServer = 2, adUseClient = 3 };
enum : int { adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum : int { adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3 };

class Recordset;

class Field {
public:
    rt::FieldValue Value() const;
    operator rt::FieldValue() const { return Value(); }
    Field& operator=(const rt::FieldValue& value);
    QString Name() const;

private:
    friend class Recordset;
    Field(Recordset* rs, int column) : rs_(rs), column_(column) {}
    Recordset* rs_;
    int column_;
};

class Recordset {
public:
    Recordset() = default;
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    int CursorLocation = adUseClient;
    void Open(const QString& source, Connection& activeConnection, int cursorType = adOpenForwardOnly,
              int lockType = adLockReadOnly, long options = -1);
    void Close();
    int State() const { return abierto_ ? 1 : 0; }

    bool Eof() const; // EOF: the C library keeps that name for a macro
    bool Bof() const;
    long RecordCount() const;
    void MoveFirst();
    void MoveNext();
    void MovePrevious();
    void MoveLast();

    Field Fields(const QString& name);
    void Update();

private:
    friend class Field;
    void comprobarAbierto() const;
    void comprobarFilaActual() const;
    void irA(long posicion);
    void cargarFila() const;
    rt::FieldValue valor(int column) const;
    void asignar(int column, const rt::FieldValue& value);

    Connection* conn_ = nullptr;
    bool abierto_ = false;
    bool actualizable_ = false;
    bool escribio_ = false;

    // Keyset mode: the keys in query order and the table they belong to.
    QString tabla_;
    std::vector<long long> claves_;
    // Static mode (a query the keyset cannot follow): the rows as read.
    std::vector<std::vector<rt::FieldValue>> filasFijas_;

    QStringList columnas_;
    std::vector<bool> esFecha_;
    long posicion_ = 0; // 0-based; -1 is BOF, size() is EOF
    mutable bool filaCargada_ = false;
    mutable std::vector<rt::FieldValue> fila_;
    std::map<int, rt::FieldValue> pendientes_;
};

} // namespace ado
