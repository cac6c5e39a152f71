#pragma once
// The writes of a connection's recordsets that are not in the database file yet. Update records
// each row's assigned values here; the connection applies them at its flush points, in the order
// of the rows in the file, in one short transaction (see Connection). Until then the connection's
// own reads see them over what the file holds.
//
// Values are kept compactly (numbers inline, texts aside): a run keeps up to a flush's worth of
// rows here.
#include "platform/runtime/FieldValue.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace ado {

class PendingWrites {
public:
    // Tables and their columns are named once and known by number; names compare without regard to case.
    int table(const QString& name);
    int column(int table, const QString& name);
    const QString& tableName(int table) const { return tables_[static_cast<std::size_t>(table)].name; }
    const QString& columnName(int table, int column) const {
        return tables_[static_cast<std::size_t>(table)].columns[column];
    }

    // New values for some columns of one row, with each column's value as it was read from the
    // file: the row is written only if the file still holds that (optimistic locking). A later
    // write of the same row wins, column by column, and keeps the values first read.
    struct Column {
        int column;
        runtime::FieldValue value;
        runtime::FieldValue original;
    };
    void write(int table, long long rowid, const std::vector<Column>& columns);

    bool pending(int table) const { return !tables_[static_cast<std::size_t>(table)].rows.empty(); }
    // Calls f(column, value) for each pending value of the row.
    template <typename F> void forEach(int table, long long rowid, F&& f) const {
        const Table& t = tables_[static_cast<std::size_t>(table)];
        const uint32_t* slot = t.rows.find(rowid);
        if (!slot) return;
        const Slot& s = t.entries[*slot];
        const auto& cols = t.shapes[s.shape];
        for (std::size_t i = 0; i < cols.size(); ++i)
            f(cols[i], value(s.first + static_cast<uint32_t>(i)));
    }

    std::size_t rows() const { return rows_; }
    bool empty() const { return rows_ == 0; }
    void clear();

    // For applying them: every pending row, in the order of the tables and of the rows in the file.
    struct Row {
        int table;
        long long rowid;
        int shape;      // the set of columns written
        uint32_t first; // its values, in the shape's column order
    };
    // The row's waiting values as they are now; false if it does not wait.
    bool current(int table, long long rowid, Row& row) const;
    // The row was written: it no longer waits.
    void erase(int table, long long rowid);
    // Lets go of the values of rows written (or written again) since the last clear.
    void compact();
    std::vector<Row> inFileOrder() const;
    const std::vector<int>& shape(int table, int shape) const {
        return tables_[static_cast<std::size_t>(table)].shapes[static_cast<std::size_t>(shape)];
    }
    runtime::FieldValue value(uint32_t index) const;
    // A waiting value, or the value first read, without making a field value of it: a number (a date's serial), or a
    // text, or neither (Null).
    struct Ref {
        runtime::FieldValue::Kind kind;
        double number;
        const QString* text;
    };
    Ref valueRef(uint32_t index) const { return ref(values_[index]); }
    Ref originalRef(uint32_t index) const { return ref(originals_[index]); }

private:
    // Nine bytes a value: a flush's worth of rows is hundreds of thousands of them.
    struct __attribute__((packed)) Stored {
        double number = 0; // numbers, dates as their serial, and texts as their index into texts_
        uint8_t kind = 0;  // runtime::FieldValue::Kind
    };
    struct Slot {
        long long rowid;
        uint32_t first;
        uint16_t shape;
    };
    // rowid -> slot, by open addressing: one probe of a flat array where a node-based map chases
    // a pointer, on every row a recordset reads while writes wait.
    class RowIndex {
    public:
        const uint32_t* find(long long rowid) const {
            if (cells_.empty()) return nullptr;
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
        std::vector<Cell> cells_;
        std::size_t mask_ = 0;
        int shift_ = 0;
        std::size_t size_ = 0;
    };
    struct Table {
        QString name;
        QStringList columns;
        QHash<QString, int> columnIds; // by lower-case name
        std::vector<std::vector<int>> shapes;
        std::map<std::vector<int>, int> shapeIds;
        RowIndex rows;             // rowid -> slot
        std::vector<Slot> entries; // entries no row points to any more are dead
    };

    int shapeOf(Table& t, std::vector<int>& columns); // sorts and dedups `columns`
    Stored stored(const runtime::FieldValue& v);
    runtime::FieldValue fieldValue(const Stored& s) const;
    Ref ref(const Stored& s) const {
        const auto kind = static_cast<runtime::FieldValue::Kind>(s.kind);
        const double number = s.number;
        return {kind, number,
                kind == runtime::FieldValue::Kind::Text ? &texts_[static_cast<std::size_t>(number)] : nullptr};
    }

    std::vector<Table> tables_;
    QHash<QString, int> tableIds_;
    std::vector<Stored> values_, originals_; // side by side
    std::vector<QString> texts_;
    std::size_t rows_ = 0;
    std::vector<int> scratch_; // the columns of the row being written
};

} // namespace ado
