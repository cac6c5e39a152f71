#pragma once
// The writes of a connection's recordsets that are not in the database file yet: for each row,
// the new values of the columns written, and what the row held when it was read, so that the
// flush writes it only where the file still holds that (see WriteBehind). Until then the
// connection's own reads see the new values over what the file holds.
//
// What a row held when it was read is kept in two parts:
//   - the columns this program had written itself before the row was read again, each with that
//     value (compared as the engine compares `column IS value`);
//   - every other column that counts (the columns written, the table's key, the columns the
//     row's reader used: the values the new ones were computed from), as one 64-bit fingerprint
//     of their stored values (RowFingerprint).
// Values are kept compactly (nine bytes each, texts aside): a run keeps up to a flush's worth of
// rows here. A row written again while it is pending is rewritten in place.
#include "platform/ado/writes/RowIndex.h"
#include "platform/runtime/FieldValue.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

namespace ado {

class PendingWrites {
public:
    // A value as the file holds it, or as it is to be written: exact, texts and blobs as bytes.
    struct Value {
        enum Kind : uint8_t { Empty, Null, Integer, Real, Text, Blob, Date };
        Kind kind = Empty;
        long long integer = 0;
        double real = 0; // a Real, or a Date's serial
        QByteArray bytes;

        static Value of(const runtime::FieldValue& v); // a value the program assigned
        runtime::FieldValue fieldValue() const;
        // Whether the engine would find `column IS this` true for a column that holds `stored`.
        bool sameAs(const Value& stored) const;
    };

    // Tables and their columns are named once and known by number; names compare without regard to case.
    int table(const QString& name);
    int column(int table, const QString& name);
    const QString& tableName(int table) const { return tables_[static_cast<std::size_t>(table)].name; }
    const QString& columnName(int table, int column) const {
        return tables_[static_cast<std::size_t>(table)].columns[column];
    }
    // The columns that name a row of the table to the operator (its key); empty: its row number.
    void setLabelColumns(int table, const QStringList& columns);
    const QStringList& labelColumns(int table) const { return tables_[static_cast<std::size_t>(table)].label; }

    // One row's write. A later write of a row that is still pending wins, column by column, and keeps
    // what the row held when it was first read.
    struct Write {
        struct Set {
            int column;
            Value value;
            Value asRead; // compared by value if the column was not compared when the row was first written
        };
        struct Compared {
            int column;
            Value asRead;
        };
        std::vector<Set> set;
        std::vector<Compared> compared;
        std::vector<int> fingerprinted; // ascending column numbers
        uint64_t fingerprint = 0;       // of their values as read, in that order
        void clear() {
            set.clear();
            compared.clear();
            fingerprinted.clear();
            fingerprint = 0;
        }
    };
    void write(int table, long long rowid, const Write& w);

    bool hasRows(int table) const { return !tables_[static_cast<std::size_t>(table)].rows.empty(); }
    bool hasRow(int table, long long rowid) const {
        return tables_[static_cast<std::size_t>(table)].rows.find(rowid) != nullptr;
    }

    std::size_t rows() const { return rows_; }
    bool empty() const { return rows_ == 0; }
    // How many values (and texts) are held: the memory the pending rows take.
    std::size_t valuesHeld() const { return stored_.size() + bytes_.size(); }
    void clear();

    // A pending row as it is now.
    struct Row {
        int table;
        long long rowid;
        int columnSet;
        uint32_t first; // its stored values: the new ones, then the compared ones as read (see ColumnSet)
        uint64_t fingerprint;
    };
    // Which columns a row writes and compares, in the order its stored values follow.
    struct ColumnSet {
        std::vector<int> set;           // ascending; a new value each
        std::vector<int> compared;      // ascending; a value as read each
        std::vector<int> fingerprinted; // ascending; in the row's fingerprint
        bool operator<(const ColumnSet& o) const {
            return std::tie(set, compared, fingerprinted) < std::tie(o.set, o.compared, o.fingerprinted);
        }
    };
    const ColumnSet& columnSet(int table, int id) const {
        return tables_[static_cast<std::size_t>(table)].columnSets[static_cast<std::size_t>(id)];
    }
    // The row's pending write as it is now; false if it is not pending.
    bool current(int table, long long rowid, Row& row) const;
    // Every pending row, in the order of the tables and of the rows in the file.
    std::vector<Row> inFileOrder() const;
    // The row is no longer pending (written, or set aside).
    void erase(int table, long long rowid);
    // Lets go of the values of rows that are no longer pending.
    void compact();

    // The stored values of a row: new values at first + i (i < set), compared values as read at
    // first + set + j (j < compared).
    Value value(uint32_t index) const;
    // Without making a Value of it: for binding.
    struct Ref {
        Value::Kind kind;
        uint64_t bits; // an Integer, or a Real's or Date's bits
        const QByteArray* bytes;
    };
    Ref ref(uint32_t index) const {
        const Stored& s = stored_[index];
        const auto kind = static_cast<Value::Kind>(s.kind);
        return {kind, s.bits, kind == Value::Text || kind == Value::Blob ? &bytes_[s.bits] : nullptr};
    }

private:
    // Nine bytes a value: a flush's worth of rows is hundreds of thousands of them.
    struct __attribute__((packed)) Stored {
        uint64_t bits = 0; // an Integer; a Real's or Date's bits; the index of a text or blob in bytes_
        uint8_t kind = Value::Empty;
    };
    struct Slot {
        long long rowid;
        uint64_t fingerprint;
        uint32_t first;
        uint16_t columnSet;
    };
    struct Table {
        QString name;
        QStringList columns;
        QHash<QString, int> columnIds; // by lower-case name
        QStringList label;
        std::vector<ColumnSet> columnSets;
        std::map<ColumnSet, int> columnSetIds;
        int lastColumnSet = -1;    // of the last row written for the first time
        RowIndex rows;             // rowid -> slot
        std::vector<Slot> entries; // entries no row points to any more are dead
    };

    int columnSetOf(Table& t, ColumnSet&& s);
    static bool sameColumns(const ColumnSet& columns, const Write& w);
    // Puts the row's values in place: over its pending ones when the column set is the same, else anew.
    void place(Table& t, long long rowid, uint32_t* existing, const Slot* old, int setId, const Write& w);
    Stored store(const Value& v);
    void storeAt(uint32_t index, const Value& v); // reuses a text's place
    static std::size_t storedCount(const ColumnSet& s) { return s.set.size() + s.compared.size(); }

    std::vector<Table> tables_;
    QHash<QString, int> tableIds_;
    std::vector<Stored> stored_;
    std::vector<QByteArray> bytes_;
    std::size_t rows_ = 0;
};

} // namespace ado
