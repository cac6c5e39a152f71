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
// rows here. A row written again while it waits is rewritten in place.
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

    // One row's write. A later write of a row that still waits wins, column by column, and keeps
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

    bool pending(int table) const { return !tables_[static_cast<std::size_t>(table)].rows.empty(); }
    bool pending(int table, long long rowid) const {
        return tables_[static_cast<std::size_t>(table)].rows.find(rowid) != nullptr;
    }

    std::size_t rows() const { return rows_; }
    bool empty() const { return rows_ == 0; }
    // How many values (and texts) are held: the memory the waiting rows take.
    std::size_t valuesHeld() const { return stored_.size() + bytes_.size(); }
    void clear();

    // A waiting row as it is now.
    struct Row {
        int table;
        long long rowid;
        int shape;
        uint32_t first; // its stored values: the new ones, then the compared ones as read (see Shape)
        uint64_t fingerprint;
    };
    // Which columns a row writes and compares, in the order its stored values follow.
    struct Shape {
        std::vector<int> set;           // ascending; a new value each
        std::vector<int> compared;      // ascending; a value as read each
        std::vector<int> fingerprinted; // ascending; in the row's fingerprint
        bool operator<(const Shape& o) const {
            return std::tie(set, compared, fingerprinted) < std::tie(o.set, o.compared, o.fingerprinted);
        }
    };
    const Shape& shape(int table, int shape) const {
        return tables_[static_cast<std::size_t>(table)].shapes[static_cast<std::size_t>(shape)];
    }
    // The row's waiting write as it is now; false if it does not wait.
    bool current(int table, long long rowid, Row& row) const;
    // Every waiting row, in the order of the tables and of the rows in the file.
    std::vector<Row> inFileOrder() const;
    // The row no longer waits (written, or set aside).
    void erase(int table, long long rowid);
    // Lets go of the values of rows that no longer wait.
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
        uint16_t shape;
    };
    // rowid -> slot, by open addressing: one probe of a flat array where a node-based map chases
    // a pointer, on every row a recordset reads while writes wait.
    class RowIndex {
    public:
        const uint32_t* find(long long rowid) const {
            if (cells_.empty()) return nullptr;
            // Most rows a run reads do not wait: a bit tells so without touching the cells.
            const uint64_t bit = (static_cast<uint64_t>(rowid) * 0xD6E8FEB86659FD93ull) >> bitShift_;
            if (!(maybe_[bit >> 6] & (uint64_t(1) << (bit & 63)))) return nullptr;
            for (std::size_t i = home(rowid);; i = (i + 1) & mask_) {
                const Cell& c = cells_[i];
                if (c.slot == kFree) return nullptr;
                if (c.rowid == rowid) return &c.slot;
            }
        }
        uint32_t* find(long long rowid) { return const_cast<uint32_t*>(std::as_const(*this).find(rowid)); }
        void insert(long long rowid, uint32_t slot); // a rowid not there yet
        bool erase(long long rowid);
        std::size_t size() const { return size_; }
        bool empty() const { return size_ == 0; }
        void clear(); // keeps the array for the next rows
        template <typename F> void forEach(F&& f) const {
            for (const Cell& c : cells_)
                if (c.slot != kFree) f(c.rowid, c.slot);
        }
        template <typename F> void forEachSlot(F&& f) {
            for (Cell& c : cells_)
                if (c.slot != kFree) f(c.slot);
        }

    private:
        static constexpr uint32_t kFree = UINT32_MAX;
        struct Cell {
            long long rowid;
            uint32_t slot;
        };
        std::size_t home(long long rowid) const {
            return static_cast<std::size_t>((static_cast<uint64_t>(rowid) * 0x9E3779B97F4A7C15ull) >> shift_) & mask_;
        }
        void grow();
        void mark(long long rowid) {
            const uint64_t bit = (static_cast<uint64_t>(rowid) * 0xD6E8FEB86659FD93ull) >> bitShift_;
            maybe_[bit >> 6] |= uint64_t(1) << (bit & 63);
        }
        std::vector<Cell> cells_;
        // A bit per hash of the rows that may be here (set on insert, cleared with the index):
        // eight bits a cell, so that few rows that do not wait share a bit with one that does.
        std::vector<uint64_t> maybe_;
        int bitShift_ = 64;
        std::size_t mask_ = 0;
        int shift_ = 0;
        std::size_t size_ = 0;
    };
    struct Table {
        QString name;
        QStringList columns;
        QHash<QString, int> columnIds; // by lower-case name
        QStringList label;
        std::vector<Shape> shapes;
        std::map<Shape, int> shapeIds;
        int lastShape = -1;        // of the last row written for the first time
        RowIndex rows;             // rowid -> slot
        std::vector<Slot> entries; // entries no row points to any more are dead
    };

    int shapeOf(Table& t, Shape&& s);
    static bool sameShape(const Shape& shape, const Write& w);
    // Puts the row's values in place: over its waiting ones when the shape is the same, else anew.
    void place(Table& t, long long rowid, uint32_t* existing, const Slot* old, int shapeId, const Write& w);
    Stored store(const Value& v);
    void storeAt(uint32_t index, const Value& v); // reuses a text's place
    static std::size_t storedCount(const Shape& s) { return s.set.size() + s.compared.size(); }

    std::vector<Table> tables_;
    QHash<QString, int> tableIds_;
    std::vector<Stored> stored_;
    std::vector<QByteArray> bytes_;
    std::size_t rows_ = 0;
};

} // namespace ado
