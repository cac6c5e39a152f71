#pragma once
// The changes that a connection's own writes make to the rows of one table, as the engine makes
// them (SQLite's pre-update hook): for each row that a statement changed, its row id, the values
// of the watched columns before and after the change, and of some more columns after it. A row
// whose watched columns all keep what they held is not logged; a row the same statement changes
// more than once (a rule of the file rounding what it was given, say) is logged once, with what
// it held first and what it holds last, and not at all if it ends as it began.
//
// A change belongs to the transaction only once the statement that made it ended: the writer
// says after each statement whether the engine refused it (statementEnded). A refused statement
// is undone by the engine, unless the rule that refused it said FAIL and kept what it had
// changed: what the file then holds decides. So the log holds what the file will hold if the
// transaction commits, and nothing else.
//
// Rows are logged compactly, one after the other, little-endian:
//   the row id (int64), the watched values before, the `with` values, the watched values after;
//   each value a tag byte (0 NULL, 1 integer: int64, 2 real: double, 3 text: UTF-8, 4 blob),
//   texts and blobs with their length (uint32) before their bytes. A value is as the engine
//   handed it over: an integral price in a REAL column may come as an integer.
#include "platform/ado/writes/PendingWrites.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_value;

namespace ado {

class Statement;

class ChangeLog {
public:
    struct Watch {
        QString table;
        QStringList with;    // logged as they are after the change
        QStringList columns; // watched: logged before and after
    };

    ChangeLog() = default;
    ChangeLog(const ChangeLog&) = delete;
    ChangeLog& operator=(const ChangeLog&) = delete;
    ~ChangeLog();

    bool watching() const { return db_ != nullptr; }
    // From now on, the connection's changes to that table are logged.
    void watch(sqlite3* db, Watch w);
    void stop();

    // A write transaction begins: the log is empty, and the table's columns are looked up again
    // (another program may have changed them since the last transaction). Fails where the
    // table's columns cannot be read.
    void begin();
    // The statement the writer ran has ended; `kept`: the engine did not refuse it.
    void statementEnded(bool kept);
    // Rows logged by the statements that ended well, and their records, taken out of the log.
    int rows() const { return rows_; }
    QByteArray take();

    // A logged value, exactly as the file held it (an integer stays an integer, a text a text).
    using Value = PendingWrites::Value;
    // Each row of records logged for `with` and `columns` of those sizes: its row id, then its
    // values in the order above (watched before, `with`, watched after); how many there were.
    // Fails on records cut short or not of this kind.
    static int forEachRow(const QByteArray& records, int with, int columns,
                          const std::function<void(long long rowid, const std::vector<Value>&)>& f);
    // Binds a logged value to a statement's parameter, as it is.
    static void bind(Statement& st, int index, const Value& v);

private:
    static void hook(void* self, sqlite3* db, int op, const char* database, const char* table, long long oldRowid,
                     long long newRowid);
    void logRow(long long rowid);
    void compactStatement();
    void keepWhatStayed();
    void clear();

    sqlite3* db_ = nullptr;
    Watch watch_;
    QByteArray table_;                   // its name as the engine hands it over, to compare without case
    std::vector<int> with_;              // column numbers; -1 for a column the table does not have
    std::vector<int> columns_;           // column numbers
    std::vector<sqlite3_value*> values_; // the row being logged, in the order of its record
    QByteArray log_;
    int rows_ = 0;
    qsizetype statementStart_ = 0; // where the statement under way began logging
    int statementRows_ = 0;
    std::vector<long long> statementRowids_; // the rows the statement under way changed
};

} // namespace ado
