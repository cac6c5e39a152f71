#pragma once
// The SQL that puts pending rows into the file, in transactions of its own (see WriteBehind.h for
// the rules it keeps): an UPDATE by row id that also compares what the row held when it was read,
// a look-up of whether a row already holds its pending values, and, after a COMMIT that failed,
// a look at the file as the next program would see it.
#include "platform/ado/writes/PendingWrites.h"

#include <QString>
#include <cstddef>
#include <map>
#include <memory>
#include <utility>
#include <vector>

struct sqlite3_stmt;

namespace ado {

class Statement;
class WriteReport;
class WriteTarget;

class RowWriter {
public:
    RowWriter(WriteTarget& target, PendingWrites& pending, WriteReport& report)
        : target_(target), pending_(pending), report_(report) {}
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    using Rows = std::vector<PendingWrites::Row>;
    // Writes rows[from...] in one transaction, until the end or budgetMs (at least one row; no
    // limit when negative), waiting up to busyMs for other programs' locks; rows that are no
    // longer pending are passed over. Gives where it stopped. Written rows stop being pending;
    // the report hears what was written, left out and refused.
    std::size_t write(const Rows& rows, std::size_t from, int busyMs, int budgetMs);
    void clear(); // the connection closes: its statements go

private:
    Statement& updateFor(const PendingWrites::Row& row);
    // Binds the row's values to be written, from index 1 on; gives the next index.
    int bindSet(sqlite3_stmt* st, const PendingWrites::Row& row);
    // Whether the row in the file holds exactly the values pending for it.
    bool holdsPendingValues(const PendingWrites::Row& row);
    QString landedQuery(const PendingWrites::Row& row);
    // After a COMMIT that failed and ended its transaction: the rows[from, end) whose values are
    // in the file stop being pending, counted as written. Reads as another program would,
    // without waiting for locks, and stops at the first read that fails. Whether all of them
    // were there.
    bool settleAfterFailedCommit(const Rows& rows, std::size_t from, std::size_t end, bool lookUp);
    void setAside(const PendingWrites::Row& row, const QString& reason);
    QString rowName(int table, long long rowid);

    WriteTarget& target_;
    PendingWrites& pending_;
    WriteReport& report_;
    std::map<std::pair<int, int>, std::shared_ptr<Statement>> updates_; // by table and column set
    std::map<std::pair<int, int>, std::shared_ptr<Statement>> landed_;  // by table and column set
};

} // namespace ado
