#pragma once
// The writes of a connection's recordsets on their way to the file. A recordset's Update adds the
// row's new values to the pending writes (PendingWrites); a flush writes them to the file, at
// flush points, in short transactions:
//   - before the program waits for the operator (a message box, a dialog), every pending row;
//   - while the program works, once the oldest pending row is kFlushMs old or kFlushRows rows are
//     pending, in slices;
//   - when the recordset that wrote is released, and when the connection closes.
//
// Its rules:
//   - Rows are written in file order (by row id), so that a transaction rewrites one stretch of
//     pages rather than pages all over the table.
//   - A row is written only while it is still the row that was read: the columns written, the
//     table's key and every column the row's reader used (the values the new ones were computed
//     from) must still hold what was read, or what this program itself wrote there since. A row
//     that another program changed, deleted or put in its place is left out, and the operator
//     hears at the next wait how many were left out.
//   - A row whose row in the file already holds exactly its pending values counts as written: a
//     commit that reached the file although it reported a failure (a sync after the commit point
//     failed), for one. After a failed COMMIT the rows of that transaction are looked up at once,
//     so that what landed stops being pending and is counted.
//   - A row that the file refuses for itself (a constraint, a trigger, a type the column will not
//     take) is set aside with the engine's reason, and every other row is written. (A rule that
//     refuses with FAIL keeps what it refused: that row holds its new values, and is written.) The operator
//     hears which (by its key) and why: as the failure of the Update that wrote it when that is
//     where it was found, otherwise in one box at the next wait.
//   - No lock is held across a wait for the operator: the flush before a wait ends or fails
//     within the busy timeout, and rows that could not be written stay pending without a lock.
//   - While the program works, a flush writes in slices of at most kSliceMs, each its own
//     transaction, and leaves the program at least as long between them (its window answers).
//   - Retries happen on time: whenever rows are pending, a precise timer is armed for when they
//     are due (kFlushMs after the first, or kRetryMs after a flush that failed), also while the
//     program is idle after the operator chose to go on without saving.
//
// This file says when a flush happens; RowWriter holds the SQL that writes, WriteReport what
// the operator hears.
#include "platform/ado/writes/PendingWrites.h"
#include "platform/ado/writes/RowWriter.h"
#include "platform/ado/writes/WriteReport.h"

#include <QElapsedTimer>
#include <QTimer>
#include <cstddef>

namespace ado {

class WriteTarget;

class WriteBehind {
public:
    explicit WriteBehind(WriteTarget& target);
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    PendingWrites& pending() { return pending_; }
    std::size_t rows() const { return pending_.rows(); }

    // A recordset's Update: the row's write is pending from now on.
    void add(int table, long long rowid, const PendingWrites::Write& w);
    // The program passes a flush point: a slice of a flush, if one is due; never fails.
    void flushPoint();
    // Writes every pending row now, waiting up to busyMs for other programs' locks. On failure
    // the rows stay pending, a retry is armed, and the failure names how many rows and why.
    void flush(int busyMs);
    // The flush before the program waits for the operator. Its failure also says what the
    // operator can do; afterwards, what the operator must hear (rows left out or refused) is told.
    void beforeWait(bool programEnds);
    // Update's own row was refused by the flush that Update triggered: that is Update's failure.
    void raiseIfRefused(int table, long long rowid) { report_.raiseIfRefused(table, rowid); }
    // The row pending under that row id was made for a row that is no longer there as it was
    // read (another program changed it, or renumbered the rows): it is left out, as its flush
    // would leave it, and the operator hears of it at the next wait.
    void leaveOut(int table, long long rowid);
    void discard(); // a damaged file: nothing more is written
    void stop();    // the connection closes

    // Rows the file refused since the connection opened.
    std::size_t refusedRows() const { return report_.refusedRows(); }
    // Rows whose values reached the file since the connection opened.
    std::size_t writtenRows() const { return report_.writtenRows(); }
    // When the timer will try again (-1: no retry armed).
    int retryInMs() const { return timer_.isActive() ? timer_.remainingTime() : -1; }
    // How long a row may stay pending while the program works (kFlushMs unless set).
    void setFlushInterval(int ms) { flushMs_ = dueMs_ = ms; }
    // How long a flush slice may write before the program goes on (kSliceMs unless set).
    void setFlushSlice(int ms) { sliceMs_ = ms; }
    // How many rows may be pending while the program works (kFlushRows unless set).
    void setFlushRows(std::size_t rows) { flushRows_ = rows; }

    static constexpr int kFlushMs = 10000;
    // A flush rewrites every page that holds one of its rows, and in a file whose rows are not in
    // the order of the run that is most of the table, however few rows are pending: fewer,
    // bigger flushes cost less. The pending rows are kept to a number that holds little memory
    // (about 130 bytes a row of five prices: 33 MB).
    static constexpr std::size_t kFlushRows = 250000;
    static constexpr int kSliceMs = 25;
    static constexpr int kRetryMs = 1000;       // after a flush that failed
    static constexpr int kPeriodicBusyMs = 100; // a flush while the program works waits no longer for a lock

private:
    void flushSlice(int busyMs);
    void afterWrite();
    void backOff();
    void arm(qint64 ms);

    WriteTarget& target_;
    PendingWrites pending_;
    WriteReport report_;
    RowWriter writer_{target_, pending_, report_};
    QElapsedTimer oldestWrite_; // started by the first pending row, stopped when none is pending
    qint64 flushMs_ = kFlushMs;
    qint64 dueMs_ = kFlushMs; // when the pending rows are due, on oldestWrite_'s clock
    bool backingOff_ = false;
    int sliceMs_ = kSliceMs;
    std::size_t flushRows_ = kFlushRows;
    RowWriter::Rows cycle_;     // the rows of the flush cycle under way, in file order
    std::size_t cycleDone_ = 0; // how many of them are handled
    QElapsedTimer lastSlice_;   // since the last slice of a cycle ended
    QTimer timer_;
};

} // namespace ado
