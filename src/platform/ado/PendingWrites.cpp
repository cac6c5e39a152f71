#include "platform/ado/PendingWrites.h"

#include <algorithm>

namespace ado {

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

int PendingWrites::shapeOf(Table& t, std::vector<int> columns) {
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    if (const auto it = t.shapeIds.find(columns); it != t.shapeIds.end()) return it->second;
    const int id = static_cast<int>(t.shapes.size());
    t.shapes.push_back(columns);
    t.shapeIds.emplace(std::move(columns), id);
    return id;
}

void PendingWrites::put(uint32_t index, const runtime::FieldValue& v) {
    Stored s;
    s.kind = static_cast<uint8_t>(v.kind());
    switch (v.kind()) {
    case runtime::FieldValue::Kind::Number: s.number = v.number(); break;
    case runtime::FieldValue::Kind::Date: s.number = v.date().serial; break;
    case runtime::FieldValue::Kind::Text:
        s.text = static_cast<int32_t>(texts_.size());
        texts_.push_back(v.text());
        break;
    default: break;
    }
    values_[index] = s;
}

uint32_t PendingWrites::store(const runtime::FieldValue& v) {
    values_.emplace_back();
    const auto index = static_cast<uint32_t>(values_.size() - 1);
    put(index, v);
    return index;
}

runtime::FieldValue PendingWrites::value(uint32_t index) const {
    const Stored& s = values_[index];
    switch (static_cast<runtime::FieldValue::Kind>(s.kind)) {
    case runtime::FieldValue::Kind::Number: return runtime::FieldValue(s.number);
    case runtime::FieldValue::Kind::Date: return runtime::FieldValue(runtime::Date{s.number});
    case runtime::FieldValue::Kind::Text: return runtime::FieldValue(texts_[static_cast<std::size_t>(s.text)]);
    case runtime::FieldValue::Kind::Null: return runtime::FieldValue::Null();
    case runtime::FieldValue::Kind::Empty: break;
    }
    return runtime::FieldValue();
}

void PendingWrites::write(int table, long long rowid, const std::vector<std::pair<int, runtime::FieldValue>>& values) {
    Table& t = tables_[static_cast<std::size_t>(table)];
    std::vector<int> columns;
    columns.reserve(values.size());
    for (const auto& [c, v] : values)
        columns.push_back(c);

    const auto existing = t.rows.find(rowid);
    if (existing != t.rows.end()) {
        // A row written again: the union of both writes, the newer values winning.
        const Slot old = t.entries[existing->second];
        std::vector<int> all = t.shapes[old.shape];
        all.insert(all.end(), columns.begin(), columns.end());
        const int shape = shapeOf(t, all);
        const auto& cols = t.shapes[static_cast<std::size_t>(shape)];
        Slot s{rowid, static_cast<uint32_t>(values_.size()), static_cast<uint16_t>(shape)};
        for (int c : cols) {
            const auto newValue = std::find_if(values.rbegin(), values.rend(), [c](const auto& p) { return p.first == c; });
            if (newValue != values.rend()) {
                store(newValue->second);
            } else {
                const auto& oldCols = t.shapes[old.shape];
                const auto pos = std::find(oldCols.begin(), oldCols.end(), c) - oldCols.begin();
                store(value(old.first + static_cast<uint32_t>(pos)));
            }
        }
        t.entries.push_back(s);
        existing->second = static_cast<uint32_t>(t.entries.size() - 1);
        return;
    }
    const int shape = shapeOf(t, columns);
    const auto& cols = t.shapes[static_cast<std::size_t>(shape)];
    Slot s{rowid, static_cast<uint32_t>(values_.size()), static_cast<uint16_t>(shape)};
    values_.resize(values_.size() + cols.size());
    for (const auto& [c, v] : values) // in the shape's order; a column named twice keeps its last value
        put(s.first + static_cast<uint32_t>(std::find(cols.begin(), cols.end(), c) - cols.begin()), v);
    t.entries.push_back(s);
    t.rows.emplace(rowid, static_cast<uint32_t>(t.entries.size() - 1));
    ++rows_;
}

std::vector<PendingWrites::Row> PendingWrites::inFileOrder() const {
    std::vector<Row> r;
    r.reserve(rows_);
    for (std::size_t ti = 0; ti < tables_.size(); ++ti) {
        const Table& t = tables_[ti];
        for (const auto& [rowid, slot] : t.rows) {
            const Slot& s = t.entries[slot];
            r.push_back({static_cast<int>(ti), rowid, s.shape, s.first});
        }
    }
    std::sort(r.begin(), r.end(),
              [](const Row& a, const Row& b) { return a.table != b.table ? a.table < b.table : a.rowid < b.rowid; });
    return r;
}

void PendingWrites::clear() {
    for (Table& t : tables_) {
        t.rows.clear();
        t.entries.clear();
    }
    values_.clear();
    texts_.clear();
    rows_ = 0;
}

} // namespace ado
