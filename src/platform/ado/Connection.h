#pragma once
// ADO's Connection over SQLite. The Jet provider's connection string is understood as such: the
// data source is the database file (a backslash is a path separator, as on the original platform),
// which must exist and be an SQLite database; it is never created.
//
// Writes are pending in the connection's write-behind (WriteBehind), which says when and how a
// flush writes them to the file. Reads share one read transaction, let go every kReadHoldMs, and before any wait for
// the operator.
#include "platform/ado/QueryShape.h"
#include "platform/ado/Statement.h"
#include "platform/ado/writes/ChangeLog.h"
#include "platform/ado/writes/WriteBehind.h"
#include "platform/ado/writes/WriteTarget.h"
#include "platform/runtime/OperatorWait.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QTimer>
#include <functional>
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
    QStringList keyColumns;      // the table's declared primary key

    // The column with that name, without regard to case; -1 if there is none.
    int find(const QString& name) const;

private:
    mutable std::vector<std::pair<QString, int>> lookups_; // names asked for, and their columns
};

class Connection final : private WriteTarget {
public:
    Connection();
    ~Connection(); // a last flush; rows that still cannot be written are lost
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Open(const QString& connectionString, const QString& userId = {}, const QString& password = {},
              long options = -1);
    // Flushes and closes; when the flush fails the connection stays open with its rows pending.
    void Close();
    int State() const { return db_ ? 1 : 0; } // adStateOpen, adStateClosed

    // For the recordsets of this connection.
    std::shared_ptr<Statement> statement(const QString& sql) override;
    const QueryShape& shape(const QString& sql);
    // The layout of the rows of a keyset query's table.
    std::shared_ptr<const RowLayout> rowLayout(const QueryShape& shape);
    WriteBehind& writes() { return writes_; }
    PendingWrites& pending() { return writes_.pending(); }
    const QString& path() const override { return path_; }
    // Whether this user may not write the file; then why, for the operator (empty when the file
    // itself is marked read-only).
    bool readOnly() const override { return readOnly_; }
    const QString& readOnlyReason() const { return readOnlyReason_; }
    // A recordset's Update: the row's write is pending from now on (see WriteBehind).
    void addPendingWrite(int table, long long rowid, const PendingWrites::Write& w);
    // A flush point: a flush if one is due, and the end of a long read; never fails.
    void flushPoint();
    // What is done first in every write transaction of this connection, before its rows are
    // written, and last, before it commits, with the number of rows it updated (their history,
    // say): a failure of either is the flush's, and the transaction is rolled back.
    void onWriteTransaction(std::function<void()> begin, std::function<void(std::size_t)> end) {
        onWriteBegin_ = std::move(begin);
        onWriteEnd_ = std::move(end);
    }
    // From now on, the changes this connection's writes make to a table's rows are logged
    // (ChangeLog) and handed to `logged`, in the transaction that made them: whenever
    // kLoggedRows rows are logged, and last before it commits (before the `end` above). A
    // failure of `logged` is the flush's, and the transaction is rolled back.
    void logChanges(ChangeLog::Watch watch, std::function<void(const QByteArray& records, int rows)> logged);
    static constexpr int kLoggedRows = 512;
    void reading();    // a statement is about to read: within a read transaction
    void endReading(); // the shared lock goes
    // A row that should be there is not: if the file is damaged (cut short, say), that is the
    // failure, not a row deleted by somebody else.
    void raiseIfDamaged();
    // Which read transaction is open (0: none): what was read in it is still what the file holds.
    quint64 readTransaction() const { return readingSince_.isValid() ? readSerial_ : 0; }

    // Writes every pending row (see WriteBehind::flush).
    void flush(int busyMs = kBusyMs) { writes_.flush(busyMs); }
    std::size_t pendingRows() const { return writes_.rows(); }
    // Rows the file refused since the connection opened: they were not written.
    std::size_t refusedRows() const { return writes_.refusedRows(); }
    // Rows written to the file since the connection opened (a row written twice counts twice).
    std::size_t writtenRows() const { return writes_.writtenRows(); }

    static constexpr int kBusyMs = WriteTarget::kBusyMs;   // how long an operation waits for another program's lock
    static constexpr int kReadHoldMs = 50;                 // how long the shared lock is kept across statements
    static constexpr qint64 kMapBytes = qint64(256) << 20; // the biggest file read through a mapping

private:
    sqlite3* handle() const override { return db_; }
    void beginWriting() override;
    void statementEnded(bool kept) override;
    void commit(std::size_t rowsUpdated) override;
    void handOverChanges();
    void exec(const char* sql);
    QStringList tablesRead(const QString& sql);
    static void warnIfOnNetwork(const QString& path);

    sqlite3* db_ = nullptr;
    bool checkedIntact_ = false;
    QString damaged_; // why the file was found damaged: then it is not written any more
    QString path_;
    bool readOnly_ = false;
    QString readOnlyReason_;
    StatementCache statements_;
    QHash<QString, QueryShape> shapes_;
    QStringList* tablesNoted_ = nullptr; // where the authorizer names the tables a statement reads
    QHash<QString, std::shared_ptr<const RowLayout>> layouts_; // by table
    std::function<void()> onWriteBegin_;
    std::function<void(std::size_t)> onWriteEnd_;
    ChangeLog changes_;
    std::function<void(const QByteArray&, int)> onChanges_;
    WriteBehind writes_{static_cast<WriteTarget&>(*this)};
    QElapsedTimer readingSince_; // valid while a read transaction is open
    quint64 readSerial_ = 0;
    QTimer readTimer_;
    runtime::WaitId wait_ = 0;
};

// The file a connection string's data source names.
QString pathOfDataSource(const QString& dataSource);

// The name of a network file system by its type (statfs's f_type), or an empty text for a
// file system of this machine's own disks. SQLite's locking is not reliable on network ones.
QString networkFileSystem(unsigned long type);

} // namespace ado
