#pragma once
// ADO's Recordset over SQLite, as a server-side keyset cursor: opening reads the keys of the rows
// in query order (so RecordCount is exact), and every move reads the row it arrives at, so a
// locked file, a vanished row or a changed table fails the step that moves, as on the original
// platform, never a later read of a field. Update hands the assigned fields of the current row to
// the connection's write-behind, with what the row held when it was read: the columns written,
// the cursor's key and every field the program read from the row (see WriteBehind). Field names
// are case-insensitive; empty fields read as Null.
#include "platform/ado/Connection.h"
#include "platform/runtime/FieldValue.h"

#include <QStringList>
#include <QVector>
#include <optional>
#include <string>
#include <vector>

namespace ado {

class RowFingerprint;

enum : int { adUseServer = 2, adUseClient = 3 };
enum : int { adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum : int { adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3 };

class Recordset;

class Field {
public:
    runtime::FieldValue Value() const;
    operator runtime::FieldValue() const { return Value(); }
    Field& operator=(const runtime::FieldValue& value);
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
    int State() const { return open_ ? 1 : 0; }

    bool Eof() const; // EOF: the C library keeps that name for a macro
    bool Bof() const;
    long RecordCount() const;
    void MoveFirst();
    void MoveNext();

    Field Fields(const QString& name);
    void Update();

private:
    friend class Field;
    void requireOpen() const;
    void requireCurrentRow() const;
    void moveTo(long position);
    void readRow() const;
    void resync() const;
    void checkColumns(const Statement& st) const;
    runtime::FieldValue value(int column) const;
    void assign(int column, const runtime::FieldValue& value);
    bool overlayMatches(const PendingWrites::Row& row) const;
    void addCell(RowFingerprint& fp, std::size_t column) const;
    PendingWrites::Value asRead(std::size_t column) const;

    Connection* conn_ = nullptr;
    bool open_ = false;
    bool updatable_ = false;
    bool wrote_ = false;

    // Keyset mode: the table's keys in query order; its rows are read as the layout says.
    bool keyset_ = false;
    mutable std::vector<long long> keys_;
    QString keysSql_;            // the statement that read the keys
    QVector<QString> literals_;  // the query's literals, bound to it
    mutable long cellsKey_ = -1; // the position whose row is in cells_
    mutable int reprepares_ = 0;
    // Static mode (a query the keyset cannot follow): the rows as read.
    std::vector<std::vector<runtime::FieldValue>> fixedRows_;

    std::shared_ptr<const RowLayout> layout_; // the columns, in either mode
    std::vector<char> identity_;              // the columns that identify a row: its key, the order's
    mutable long position_ = 0;               // 0-based; -1 is BOF, RecordCount() is EOF
    mutable bool rowRead_ = false;
    mutable quint64 readIn_ = 0; // the connection's read transaction in which the row was read
    // The current row as the engine gave it (numbers inline, texts and blobs in text_), and each
    // field's value once it was read, or this connection's pending write for it.
    struct Cell {
        int type = 0;
        long long integer = 0;
        double number = 0;
        uint32_t offset = 0, length = 0;
    };
    runtime::FieldValue storedValue(std::size_t column) const; // as the file holds it
    mutable std::vector<Cell> cells_;
    mutable std::string text_;
    mutable std::vector<std::optional<runtime::FieldValue>> row_;
    // Which fields of the current row the program used (and the identity): they must still hold
    // what was read when the row is written.
    mutable std::vector<char> used_;
    // What this program itself has put in a field of the current row, pending or written since
    // the row was read: the file holds that, or will.
    mutable std::vector<std::optional<PendingWrites::Value>> known_;
    mutable bool anyKnown_ = false;
    std::vector<std::pair<int, runtime::FieldValue>> edits_; // assigned since the last move, by column
    PendingWrites::Write write_;                             // what Update hands to the write-behind
    std::vector<std::pair<int, std::size_t>> fingerprinted_; // by pending column number: the layout's column
};

} // namespace ado
