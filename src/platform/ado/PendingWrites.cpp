#include "platform/ado/PendingWrites.h"

#include <algorithm>
#include <bit>

namespace ado {

void PendingWrites::RowIndex::insert(long long rowid, uint32_t slot) {
    if ((size_ + 1) * 2 > cells_.size()) grow(); // at most half full: probes stay short
    std::size_t i = home(rowid);
    while (cells_[i].slot != kFree)
        i = (i + 1) & mask_;
    cells_[i] = {rowid, slot};
    ++size_;
}

bool PendingWrites::RowIndex::erase(long long rowid) {
    if (cells_.empty()) return false;
    std::size_t i = home(rowid);
    for (;; i = (i + 1) & mask_) {
        if (cells_[i].slot == kFree) return false;
        if (cells_[i].rowid == rowid) break;
    }
    // Backward shift: the rows after the hole that belong before it move into it, so that every
    // row stays reachable from its home without tombstones.
    for (std::size_t j = i;;) {
        j = (j + 1) & mask_;
        if (cells_[j].slot == kFree) break;
        const std::size_t k = home(cells_[j].rowid);
        const bool staysPut = i <= j ? (i < k && k <= j) : (i < k || k <= j);
        if (staysPut) continue;
        cells_[i] = cells_[j];
        i = j;
    }
    cells_[i].slot = kFree;
    --size_;
    return true;
}

void PendingWrites::RowIndex::grow() {
    std::vector<Cell> old = std::move(cells_);
    const std::size_t capacity = old.empty() ? 1024 : old.size() * 2;
    cells_.assign(capacity, Cell{0, kFree});
    mask_ = capacity - 1;
    shift_ = 64 - std::countr_zero(capacity);
    size_ = 0;
    for (const Cell& c : old)
        if (c.slot != kFree) insert(c.rowid, c.slot);
}

void PendingWrites::RowIndex::clear() {
    if (size_ == 0) return;
    std::fill(cells_.begin(), cells_.end(), Cell{0, kFree});
    size_ = 0;
}

int PendingWrites::table(const QString& name) {
    const QString key = name.toLower();
    if (const auto it = tableIds_.constFind(key); it != tableIds_.constEnd()) return it.value();
    const int id = static_cast<int>(tables_.size());
    tables_.push_back(Table{name, {}, {}, {}, {}, {}, {}});
    tableIds_.insert(key, id);
    return id;
}

int PendingWrites::column(int table, const QString& name) {
    Table& t = tables_[static_cast<std::size_t>(table)];
    const QString key = name.toLower();
    if (const auto it = t.columnIds.constFind(key); it != t.columnIds.constEnd()) return it.value();
    const int id = static_cast<int>(t.columns.size());
    t.columns << name;
    t.columnIds.insert(key, id);
    return id;
}

int PendingWrites::shapeOf(Table& t, std::vector<int>& columns) {
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    if (const auto it = t.shapeIds.find(columns); it != t.shapeIds.end()) return it->second;
    const int id = static_cast<int>(t.shapes.size());
    t.shapes.push_back(columns);
    t.shapeIds.emplace(columns, id);
    return id;
}

PendingWrites::Stored PendingWrites::stored(const runtime::FieldValue& v) {
    Stored s;
    s.kind = static_cast<uint8_t>(v.kind());
    switch (v.kind()) {
    case runtime::FieldValue::Kind::Number: s.number = v.number(); break;
    case runtime::FieldValue::Kind::Date: s.number = v.date().serial; break;
    case runtime::FieldValue::Kind::Text:
        s.number = static_cast<double>(texts_.size());
        texts_.push_back(v.text());
        break;
    default: break;
    }
    return s;
}

runtime::FieldValue PendingWrites::fieldValue(const Stored& s) const {
    switch (static_cast<runtime::FieldValue::Kind>(s.kind)) {
    case runtime::FieldValue::Kind::Number: return runtime::FieldValue(s.number);
    case runtime::FieldValue::Kind::Date: return runtime::FieldValue(runtime::Date{s.number});
    case runtime::FieldValue::Kind::Text: return runtime::FieldValue(texts_[static_cast<std::size_t>(s.number)]);
    case runtime::FieldValue::Kind::Null: return runtime::FieldValue::Null();
    case runtime::FieldValue::Kind::Empty: break;
    }
    return runtime::FieldValue();
}

runtime::FieldValue PendingWrites::value(uint32_t index) const { return fieldValue(values_[index]); }

void PendingWrites::write(int table, long long rowid, const std::vector<Column>& columns) {
    Table& t = tables_[static_cast<std::size_t>(table)];
    // The row's columns: those written now, and those of an earlier write of the same row.
    std::vector<int>& all = scratch_;
    all.clear();
    for (const Column& c : columns)
        all.push_back(c.column);
    uint32_t* const existing = t.rows.find(rowid);
    if (existing) {
        const auto& old = t.shapes[t.entries[*existing].shape];
        all.insert(all.end(), old.begin(), old.end());
    }
    const int shape = shapeOf(t, all);
    const std::vector<int>& cols = t.shapes[static_cast<std::size_t>(shape)];
    Slot slot{rowid, static_cast<uint32_t>(values_.size()), static_cast<uint16_t>(shape)};
    for (int c : cols) {
        const auto written =
            std::find_if(columns.rbegin(), columns.rend(), [c](const Column& x) { return x.column == c; });
        Stored value, original;
        bool hasOriginal = false;
        if (existing) {
            const Slot& old = t.entries[*existing];
            const auto& oldCols = t.shapes[old.shape];
            if (const auto pos = std::find(oldCols.begin(), oldCols.end(), c); pos != oldCols.end()) {
                const auto i = old.first + static_cast<uint32_t>(pos - oldCols.begin());
                value = values_[i];
                original = originals_[i]; // the file's value as first read
                hasOriginal = true;
            }
        }
        if (written != columns.rend()) {
            value = stored(written->value);
            if (!hasOriginal) original = stored(written->original);
        }
        values_.push_back(value);
        originals_.push_back(original);
    }
    t.entries.push_back(slot);
    if (existing) {
        *existing = static_cast<uint32_t>(t.entries.size() - 1);
    } else {
        t.rows.insert(rowid, static_cast<uint32_t>(t.entries.size() - 1));
        ++rows_;
    }
}

std::vector<PendingWrites::Row> PendingWrites::inFileOrder() const {
    std::vector<Row> r;
    r.reserve(rows_);
    for (std::size_t ti = 0; ti < tables_.size(); ++ti) {
        const Table& t = tables_[ti];
        t.rows.forEach([&](long long rowid, uint32_t slot) {
            const Slot& s = t.entries[slot];
            r.push_back({static_cast<int>(ti), rowid, s.shape, s.first});
        });
    }
    std::sort(r.begin(), r.end(),
              [](const Row& a, const Row& b) { return a.table != b.table ? a.table < b.table : a.rowid < b.rowid; });
    return r;
}

bool PendingWrites::current(int table, long long rowid, Row& row) const {
    const Table& t = tables_[static_cast<std::size_t>(table)];
    const uint32_t* slot = t.rows.find(rowid);
    if (!slot) return false;
    const Slot& s = t.entries[*slot];
    row = {table, rowid, s.shape, s.first};
    return true;
}

void PendingWrites::erase(int table, long long rowid) {
    if (!tables_[static_cast<std::size_t>(table)].rows.erase(rowid)) return;
    if (--rows_ == 0) clear(); // the values of written rows are let go with the last of them
}

void PendingWrites::compact() {
    std::vector<Stored> values, originals;
    std::vector<QString> texts;
    auto keep = [&](Stored v) {
        if (static_cast<runtime::FieldValue::Kind>(v.kind) == runtime::FieldValue::Kind::Text) {
            texts.push_back(texts_[static_cast<std::size_t>(v.number)]);
            v.number = static_cast<double>(texts.size() - 1);
        }
        return v;
    };
    for (Table& t : tables_) {
        std::vector<Slot> entries;
        entries.reserve(t.rows.size());
        t.rows.forEachSlot([&](uint32_t& slot) {
            const Slot old = t.entries[slot];
            entries.push_back({old.rowid, static_cast<uint32_t>(values.size()), old.shape});
            for (std::size_t k = 0; k < t.shapes[old.shape].size(); ++k) {
                values.push_back(keep(values_[old.first + k]));
                originals.push_back(keep(originals_[old.first + k]));
            }
            slot = static_cast<uint32_t>(entries.size() - 1);
        });
        t.entries = std::move(entries);
    }
    values_ = std::move(values);
    originals_ = std::move(originals);
    texts_ = std::move(texts);
}

void PendingWrites::clear() {
    for (Table& t : tables_) {
        t.rows.clear();
        t.entries.clear();
    }
    values_.clear();
    originals_.clear();
    texts_.clear();
    rows_ = 0;
}

} // namespace ado
