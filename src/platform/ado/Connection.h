#pragma once
// ADO's Connection over SQLite. The Jet provider's connection string is understood as such: the
// data source is the database file (a backslash is a path separator, as on the original platform),
// which must exist and be an SQLite database; it is never created.
//
// Writes. A recordset's Update does not touch the file at once: the row's new values wait in the
// connection (PendingWrites), and the connection writes every waiting row in one short transaction
// at its flush points:
//   - before the program waits for the operator (a message box, a dialog): a failure there reaches
//     the operator, who can try again;
//   - at the latest kFlushMs after the first waiting write, or once kFlushRows rows wait, at the
//     next move or opening of a recordset: a failure there is not a failure of that step; the rows
//     keep waiting and the next flush point tries again;
//   - when the recordset that wrote is released, and when the connection closes;
//   - while the program is idle, on time as well.
// A row is written only where the file still holds what was read from it (optimistic locking):
// a row that another program changed or deleted meanwhile is not overwritten, and the flush then
// fails, after writing the others, naming how many were left out.
// So the file is locked for writing only while a flush runs, never while the program works or
// waits; each row is written whole or not at all, whatever stops the program; and a flush that
// fails loses nothing: the rows stay waiting until one succeeds.
#include "platform/ado/PendingWrites.h"
#include "platform/ado/QueryShape.h"
#include "platform/ado/Statement.h"
#include "platform/runtime/OperatorWait.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QTimer>
#include <memory>

struct sqlite3;

namespace ado {

// How a recordset reads the rows of one table, or of one query: the statement that reads a row
// by its key, and the columns it gives. A connection prepares it once per table (again after the
// table's columns changed), however many recordsets open on that table.
struct RowLayout {
    QString table;
    int tableId = -1;               // the table's number in the connection's pending writes
    std::shared_ptr<Statement> row; // SELECT * FROM <table> WHERE rowid=?; none for a query
    int reprepares = 0;             // the statement's compilations when the columns were read
    QStringList columns;
    std::vector<bool> isDate;    // dates are kept as ISO texts and read as dates
    std::vector<int> columnIds;  // each column's number in the pending writes
    std::vector<int> columnOfId; // and back; -1 for a column of the table not read here

    // The column with that name, without regard to case; -1 if there is none.
    int find(const QString& name) const;

private:
    mutable std::vector<std::pair<QString, int>> lookups_; // names asked for, and their columns
};

class Connection {
public:
    Connection();
    ~Connection(); // a last flush; rows that still cannot be written are lost
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Open(const QString& connectionString, const QString& userId = {}, const QString& password = {},
              long options = -1);
    // Flushes and closes; when the flush fails the connection stays open with its rows waiting.
    void Close();
    int State() const { return db_ ? 1 : 0; } // adStateOpen, adStateClosed

    // For the recordsets of this connection.
    std::shared_ptr<Statement> statement(const QString& sql);
    const QueryShape& shape(const QString& sql);
    // The layout of the rows of a keyset query's table.
    std::shared_ptr<const RowLayout> rowLayout(const QueryShape& shape);
    PendingWrites& pending() { return pending_; }
    const QString& path() const { return path_; }
    bool readOnly() const { return readOnly_; }
    void wrote();      // a row was added to the pending writes
    void checkpoint(); // a flush if one is due, and the end of a long read; never fails
    void reading();    // a statement is about to read: within a read transaction
    void endReading(); // the shared lock goes
    // A row that should be there is not: if the file is damaged (cut short, say), that is the
    // failure, not a row deleted by somebody else.
    void raiseIfDamaged();
    // Which read transaction is open (0: none): what was read in it is still what the file holds.
    quint64 readTransaction() const { return readingSince_.isValid() ? readSerial_ : 0; }

    // Writes every pending row, waiting up to busyMs for other programs' locks. On failure the
    // rows keep waiting and the failure names how many there are and why; rows that another
    // program changed meanwhile are left out, and named in a failure after the rest is written.
    void flush(int busyMs = kBusyMs);
    std::size_t pendingRows() const { return pending_.rows(); }
    // How long a write may wait while the program works (kFlushMs unless set).
    void setFlushInterval(int ms) { flushMs_ = nextTryMs_ = ms; }
    // How long a flush point may write before the program goes on (kSliceMs unless set).
    void setFlushSlice(int ms) { sliceMs_ = ms; }

    static constexpr int kBusyMs = 1500;   // how long an operation waits for another program's lock
    static constexpr int kFlushMs = 10000; // how long a write may wait while the program works
    // A flush rewrites every page that holds one of its rows, and in a file whose rows are not in
    // the order of the run that is most of the table, however few rows wait: fewer, bigger
    // flushes cost less. The rows that wait are kept to a number that holds little memory (about
    // 150 bytes a row of five prices: 40 MB).
    static constexpr std::size_t kFlushRows = 250000;
    // A flush point during work writes for at most this long, then lets the program go on (and
    // its window answer) for at least as long; a later flush point goes on from the row it
    // stopped at. A cycle of
    // slices writes the rows in file order, so each slice rewrites only its own stretch of pages.
    static constexpr int kSliceMs = 25;
    static constexpr int kReadHoldMs = 50;                 // how long the shared lock is kept across statements
    static constexpr qint64 kMapBytes = qint64(256) << 20; // the biggest file read through a mapping

private:
    void exec(const char* sql);
    struct Written {
        std::size_t end;              // the position after the last row handled
        std::size_t rows;             // rows tried
        std::size_t changedElsewhere; // of them, left out because another program changed them
    };
    // Writes rows[from...] in one transaction, until the end or budgetMs (at least one row; no
    // limit when negative). Rows that no longer wait are skipped when a budget is given.
    Written writeRows(const std::vector<PendingWrites::Row>& rows, std::size_t from, int busyMs, int budgetMs);
    void flushSlice(int busyMs);
    void wroteRows(const Written& w);

    sqlite3* db_ = nullptr;
    bool checkedIntact_ = false;
    QString damaged_; // why the file was found damaged: then it is not written any more
    QString path_;
    bool readOnly_ = false;
    StatementCache statements_;
    QHash<QString, QueryShape> shapes_;
    QHash<QString, std::shared_ptr<const RowLayout>> layouts_; // by table
    PendingWrites pending_;
    QElapsedTimer oldestWrite_;  // started by the first pending write, stopped by a flush
    QElapsedTimer readingSince_; // valid while a read transaction is open
    quint64 readSerial_ = 0;
    qint64 flushMs_ = kFlushMs;
    qint64 nextTryMs_ = kFlushMs;
    bool backingOff_ = false;
    int sliceMs_ = kSliceMs;
    std::vector<PendingWrites::Row> cycle_; // the rows of the flush cycle under way, in file order
    std::size_t cycleDone_ = 0;             // how many of them are written
    QElapsedTimer lastSlice_;               // since the last slice of a cycle ended
    QTimer retryTimer_;
    QTimer readTimer_;
    runtime::WaitId wait_ = 0;
};

// The file a connection string's data source names.
QString pathOfDataSource(const QString& dataSource);

} // namespace ado
